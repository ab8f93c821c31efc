#include "X11ScreenCapture.h"

#include "X11Display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

void DestroyXImage(void* image)
{
    XDestroyImage(static_cast<XImage*>(image));
}

// Whether the pixels are laid out as QImage::Format_RGB32 (0xffRRGGBB words
// in host order): the usual 24/32-bit TrueColor visual on little-endian X.
bool IsHostRgb32(const XImage* image)
{
    const bool hostLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    return image->bits_per_pixel == 32 && (image->byte_order == LSBFirst) == hostLittleEndian &&
           image->red_mask == 0xff0000 && image->green_mask == 0x00ff00 && image->blue_mask == 0x0000ff;
}

int LowestBit(unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// One channel of a pixel scaled to 0..255, whatever the width of its mask.
int Channel(unsigned long pixel, unsigned long mask, int shift)
{
    const unsigned long maximum = mask >> shift;
    if (maximum == 0)
        return 0;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / maximum);
}

// Any other TrueColor layout (16-bit, swapped bytes): converted pixel by pixel.
QImage ConvertPixels(XImage* image)
{
    QImage converted(image->width, image->height, QImage::Format_RGB32);
    const int redShift = LowestBit(image->red_mask);
    const int greenShift = LowestBit(image->green_mask);
    const int blueShift = LowestBit(image->blue_mask);
    for (int y = 0; y < image->height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(converted.scanLine(y));
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            line[x] = qRgb(Channel(pixel, image->red_mask, redShift), Channel(pixel, image->green_mask, greenShift),
                           Channel(pixel, image->blue_mask, blueShift));
        }
    }
    XDestroyImage(image);
    return converted;
}

} // namespace

QImage X11ScreenCapture::grab()
{
    XImage* image = nullptr;
    X11Display::instance().With([&](Display* display) {
        const Window root = DefaultRootWindow(display);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, root, &attributes) == 0)
            return;
        image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    });
    if (image == nullptr)
        return {};
    if (!IsHostRgb32(image))
        return ConvertPixels(image);
    // The server's pixels are used in place; the image frees them.
    return QImage(reinterpret_cast<const uchar*>(image->data), image->width, image->height, image->bytes_per_line,
                  QImage::Format_RGB32, DestroyXImage, image);
}
