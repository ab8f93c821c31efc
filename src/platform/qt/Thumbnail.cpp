#include "Thumbnail.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <semaphore>
#include <sys/stat.h>
#include <unistd.h>

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

// The pixels a decoder produces for a picture of the header's size: JPEG
// decodes at down to 1/8 of each side, other formats at full size.
long long DecodedPixels(const QSize& size, const QByteArray& format)
{
    const long long width = size.width(), height = size.height();
    if (format == "jpeg")
        return ((width + 7) / 8) * ((height + 7) / 8);
    return width * height;
}

// Decodes that run at once, process-wide.
std::counting_semaphore<Thumbnail::kDecodesAtOnce>& DecodeSlots()
{
    static std::counting_semaphore<Thumbnail::kDecodesAtOnce> turns(Thumbnail::kDecodesAtOnce);
    return turns;
}

// Holds a decode slot for its lifetime, when one came free in time.
class DecodeTurn {
public:
    DecodeTurn() : held(DecodeSlots().try_acquire_for(std::chrono::seconds(Thumbnail::kDecodeWaitSeconds))) {}
    ~DecodeTurn()
    {
        if (held)
            DecodeSlots().release();
    }
    DecodeTurn(const DecodeTurn&) = delete;
    DecodeTurn& operator=(const DecodeTurn&) = delete;
    bool held;
};

} // namespace

std::string Thumbnail::jpeg(const std::string& path)
{
    // Opened without blocking, and read only when it is a regular file: a
    // pipe would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QFile file;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader reader(&file);
    const QSize original = reader.size();
    // A picture whose header gives no size has no place here either.
    if (!original.isValid() || original.isEmpty() || DecodedPixels(original, reader.format()) > kMaxDecodedPixels)
        return {};
    // Also what the decoder may allocate, should a header understate it.
    reader.setAllocationLimit(static_cast<int>(kMaxDecodedPixels * 4 / (1024 * 1024)));
    QSize fitted;
    fit(original.width(), original.height(), fitted.rwidth(), fitted.rheight());
    // Lets the decoder skip detail it would throw away (JPEG's DCT scaling).
    reader.setScaledSize(fitted);
    const DecodeTurn turn;
    if (!turn.held)
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return {};
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
