#include "QREncoder.h"

#include "QR_Encode.h"

std::unique_ptr<DataMatrix> QREncoder::encodeWithECLevel(int level, int version, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return encodeCStringWithECLevel(level, version, bytes.constData());
}

std::unique_ptr<DataMatrix> QREncoder::encodeCStringWithECLevel(int level, int version, const char* cstring)
{
    if (cstring == nullptr)
        return nullptr;
    // About 53 KB of fixed buffers: on the heap, one per encoding.
    const auto encoder = std::make_unique<CQR_Encode>();
    if (!encoder->EncodeData(level, version, true, -1, cstring, 0))
        return nullptr;
    const int size = encoder->SymbolSize();
    auto matrix = std::make_unique<DataMatrix>(size);
    for (int x = 0; x < size; ++x) {
        for (int y = 0; y < size; ++y)
            matrix->set(encoder->Module(x, y), x, y);
    }
    return matrix;
}

std::string QREncoder::renderTerminal(const DataMatrix& matrix)
{
    const int n = matrix.dimension();
    if (n <= 0)
        return {};
    constexpr int kQuiet = 4;
    // Black ink on white from the fixed part of the 256-colour palette (16
    // is black, 231 white; terminal themes recolour only the first 16), set
    // at the start of every line and reset before its end, so the code reads
    // the same on light and dark terminals and no colour spills further.
    constexpr const char* kBlackOnWhite = "\x1b[38;5;16;48;5;231m";
    constexpr const char* kReset = "\x1b[0m";
    const int total = n + 2 * kQuiet;
    // Ink (a block) for dark modules; the quiet zone, light modules and the
    // half row past the quiet zone show the white background.
    const auto ink = [&](int x, int y) {
        const int mx = x - kQuiet;
        const int my = y - kQuiet;
        return mx >= 0 && my >= 0 && mx < n && my < n && matrix.valueAt(mx, my) != 0;
    };
    std::string text;
    text.reserve(static_cast<std::size_t>((total + 1) / 2) * (static_cast<std::size_t>(total) * 3 + 32));
    for (int y = 0; y < total; y += 2) {
        text += kBlackOnWhite;
        for (int x = 0; x < total; ++x) {
            const bool top = ink(x, y);
            const bool bottom = ink(x, y + 1);
            if (top && bottom)
                text += "\u2588"; // full block
            else if (top)
                text += "\u2580"; // upper half block
            else if (bottom)
                text += "\u2584"; // lower half block
            else
                text += ' ';
        }
        text += kReset;
        text += '\n';
    }
    return text;
}
