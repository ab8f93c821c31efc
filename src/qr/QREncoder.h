#pragma once

#include "DataMatrix.h"

#include <QString>
#include <memory>
#include <string>

// Text to QR module matrix, and module matrix to terminal text (QRImage
// makes images of it). Stateless: every call makes its own encoder, matrix and pixels, so calls
// from different threads do not interfere.
class QREncoder {
public:
    QREncoder() = delete;

    // Encodes the UTF-8 bytes of text. level 0-3 (L, M, Q, H); version 1-40
    // or a larger one when the text needs it, 0 or -1 for the smallest that
    // fits; the mask is chosen automatically. Null when the text is empty or
    // too long for version 40 at the level.
    static std::unique_ptr<DataMatrix> encodeWithECLevel(int level, int version, const QString& text);
    // The same for zero-terminated bytes.
    static std::unique_ptr<DataMatrix> encodeCStringWithECLevel(int level, int version, const char* cstring);

    // The matrix as lines of Unicode half blocks (two module rows per line)
    // with a 4-module quiet zone, in explicit colours: the blocks are the
    // dark modules in black on a white background, so the code scans on
    // light and dark terminals alike. Each line sets the colours first and
    // resets them before its line break.
    static std::string renderTerminal(const DataMatrix& matrix);
};
