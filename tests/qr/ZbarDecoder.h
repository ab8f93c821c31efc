#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The independent decoder of the QR tests: zbar's image scanner with QR
// codes only and binary output, so every symbol gives back its raw bytes.
class ZbarDecoder {
public:
    // Decodes an 8-bit grey image (0 black, 255 white), row-major.
    static std::vector<std::string> DecodeGrey(const std::vector<std::uint8_t>& pixels, int width, int height);
    // Decodes an image, composited over white where it is transparent.
    static std::vector<std::string> DecodeImage(const QImage& image);
    // Draws size x size modules (dark(x, y) true for dark) at scale pixels
    // per module inside a 4-module white quiet zone and decodes that.
    static std::vector<std::string> DecodeModules(int size, const std::function<bool(int, int)>& dark, int scale = 2);
};
