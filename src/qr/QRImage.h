#pragma once

#include "DataMatrix.h"

#include <QImage>

// QR module matrices as images. Stateless, like QREncoder.
class QRImage {
public:
    QRImage() = delete;

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
};
