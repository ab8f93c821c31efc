#include "Thumbnail.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>

void Thumbnail::fit(int width, int height, int& fittedWidth, int& fittedHeight)
{
    const bool wide = width > height;
    const long long longer = wide ? width : height;
    const long long shorter = wide ? height : width;
    // Exact arithmetic: a single-precision scale factor turns 40.0 into
    // 39.99... for some sizes (6 × 3) and drops a pixel when truncated.
    const int fittedShorter = longer > 0 ? static_cast<int>(std::max(1LL, shorter * kLongSide / longer)) : 1;
    fittedWidth = wide ? kLongSide : fittedShorter;
    fittedHeight = wide ? fittedShorter : kLongSide;
}

namespace {

QImage OnWhite(const QImage& image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

} // namespace

std::string Thumbnail::jpeg(const std::string& path)
{
    QImageReader reader(QFile::decodeName(path.c_str()));
    QSize fitted;
    const QSize original = reader.size();
    if (original.isValid() && !original.isEmpty()) {
        fit(original.width(), original.height(), fitted.rwidth(), fitted.rheight());
        // Lets the decoder skip detail it would throw away (JPEG's DCT scaling).
        reader.setScaledSize(fitted);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (!fitted.isValid()) // the header did not tell the size
        fit(image.width(), image.height(), fitted.rwidth(), fitted.rheight());
    if (image.size() != fitted)
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.hasAlphaChannel())
        image = OnWhite(image);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    if (!writer.write(image))
        return {};
    return bytes.toStdString();
}
