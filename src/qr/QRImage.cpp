#include "QRImage.h"

#include <algorithm>
#include <cstring>

namespace {

struct Rgba {
    std::uint8_t r, g, b, a;
};

constexpr Rgba kMargin = {255, 255, 255, 0};
constexpr Rgba kLight = {255, 255, 255, 255};
constexpr Rgba kDark = {0, 0, 0, 255};

void FillPixels(uchar* pixels, int count, Rgba colour)
{
    for (int i = 0; i < count; ++i) {
        pixels[4 * i] = colour.r;
        pixels[4 * i + 1] = colour.g;
        pixels[4 * i + 2] = colour.b;
        pixels[4 * i + 3] = colour.a;
    }
}

} // namespace

QImage QRImage::renderDataMatrix(const DataMatrix& matrix, int imageDimension)
{
    const int n = matrix.dimension();
    if (n <= 0 || imageDimension < n)
        return {};
    QImage image(imageDimension, imageDimension, QImage::Format_RGBA8888);
    if (image.isNull())
        return {};

    const int pixelsPerModule = imageDimension / n;
    const int leftover = imageDimension - pixelsPerModule * n;
    const int leading = leftover / 2;
    const int trailing = leftover - leading;
    const std::size_t rowBytes = static_cast<std::size_t>(imageDimension) * 4;

    int row = 0;
    for (; row < leading; ++row)
        FillPixels(image.scanLine(row), imageDimension, kMargin);
    for (int y = 0; y < n; ++y) {
        uchar* first = image.scanLine(row++);
        uchar* pixel = first;
        FillPixels(pixel, leading, kMargin);
        pixel += 4 * leading;
        for (int x = 0; x < n; ++x) {
            FillPixels(pixel, pixelsPerModule, matrix.valueAt(x, y) ? kDark : kLight);
            pixel += 4 * pixelsPerModule;
        }
        FillPixels(pixel, trailing, kMargin);
        for (int repeat = 1; repeat < pixelsPerModule; ++repeat)
            std::memcpy(image.scanLine(row++), first, rowBytes);
    }
    for (; row < imageDimension; ++row)
        FillPixels(image.scanLine(row), imageDimension, kMargin);
    return image;
}

QImage QRImage::renderWithQuietZone(const DataMatrix& matrix, int imageDimension, int quietModules)
{
    const int n = matrix.dimension();
    const int quiet = std::max(0, quietModules);
    if (n <= 0 || imageDimension < n + 2 * quiet)
        return {};
    QImage image(imageDimension, imageDimension, QImage::Format_RGBA8888);
    if (image.isNull())
        return {};

    // Whole modules for the symbol and its quiet zone; what is left over
    // widens the white border evenly.
    const int pixelsPerModule = imageDimension / (n + 2 * quiet);
    const int offset = (imageDimension - pixelsPerModule * n) / 2;
    for (int row = 0; row < imageDimension; ++row)
        FillPixels(image.scanLine(row), imageDimension, kLight);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (!matrix.valueAt(x, y))
                continue;
            for (int dy = 0; dy < pixelsPerModule; ++dy) {
                uchar* pixel = image.scanLine(offset + y * pixelsPerModule + dy) + 4 * (offset + x * pixelsPerModule);
                FillPixels(pixel, pixelsPerModule, kDark);
            }
        }
    }
    return image;
}
