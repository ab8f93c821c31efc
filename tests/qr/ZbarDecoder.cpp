#include "ZbarDecoder.h"

#include <zbar.h>

using namespace zbar;

std::vector<std::string> ZbarDecoder::DecodeGrey(const std::vector<std::uint8_t>& pixels, int width, int height)
{
    std::vector<std::string> found;
    zbar_image_scanner_t* scanner = zbar_image_scanner_create();
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_BINARY, 1);
    zbar_image_t* image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, static_cast<unsigned>(width), static_cast<unsigned>(height));
    zbar_image_set_data(image, pixels.data(), pixels.size(), nullptr);
    if (zbar_scan_image(scanner, image) > 0) {
        for (const zbar_symbol_t* symbol = zbar_image_first_symbol(image); symbol != nullptr;
             symbol = zbar_symbol_next(symbol)) {
            found.emplace_back(zbar_symbol_get_data(symbol), zbar_symbol_get_data_length(symbol));
        }
    }
    zbar_image_destroy(image);
    zbar_image_scanner_destroy(scanner);
    return found;
}

std::vector<std::string> ZbarDecoder::DecodeImage(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
    const int width = image.width();
    const int height = image.height();
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uchar* pixel = image.constScanLine(y);
        for (int x = 0; x < width; ++x, pixel += 4) {
            const int luminance = (pixel[0] + pixel[1] + pixel[2]) / 3;
            const int alpha = pixel[3];
            grey[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>((luminance * alpha + 255 * (255 - alpha)) / 255);
        }
    }
    return DecodeGrey(grey, width, height);
}

std::vector<std::string> ZbarDecoder::DecodeModules(int size, const std::function<bool(int, int)>& dark, int scale)
{
    const int side = (size + 8) * scale;
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 255);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (!dark(x, y))
                continue;
            for (int dy = 0; dy < scale; ++dy) {
                for (int dx = 0; dx < scale; ++dx)
                    grey[static_cast<std::size_t>((y + 4) * scale + dy) * side + (x + 4) * scale + dx] = 0;
            }
        }
    }
    return DecodeGrey(grey, side, side);
}
