#pragma once

#include "DataMatrix.h"

#include <QImage>
#include <QString>
#include <memory>
#include <string>

// Text to QR module matrix, and module matrix to images and terminal text.
// Stateless: every call makes its own encoder, matrix and pixels, so calls
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

    // A square RGBA image (R, G, B, A bytes, not premultiplied) of
    // imageDimension pixels: each module p x p pixels with p the image
    // dimension divided by the matrix dimension; the leftover goes to the
    // margins (top and left get the smaller half) and is transparent white.
    // Light modules are opaque white, dark ones opaque black. Null when the
    // matrix is empty or imageDimension is below its dimension.
    static QImage renderDataMatrix(const DataMatrix& matrix, int imageDimension);

    // An opaque image of imageDimension pixels on white with at least
    // quietModules light modules around the symbol, centred, so that
    // scanners read it on any background. Null when the matrix is empty or
    // the image cannot give every module a pixel.
    static QImage renderWithQuietZone(const DataMatrix& matrix, int imageDimension, int quietModules = 4);

    // The matrix as lines of Unicode half blocks (two module rows per line)
    // with a 4-module quiet zone, in explicit colours: the blocks are the
    // dark modules in black on a white background, so the code scans on
    // light and dark terminals alike. Each line sets the colours first and
    // resets them before its line break.
    static std::string renderTerminal(const DataMatrix& matrix);
};
