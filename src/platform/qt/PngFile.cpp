#include "PngFile.h"

#include <QImage>
#include <csetjmp>
#include <cstdio>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

// The "up" filter turns smooth areas and flat colour into runs of small
// values, which run-length deflate at level 1 packs nearly as tightly as the
// default level with adaptive filters, in a fraction of the time.
constexpr int kFilter = PNG_FILTER_UP;
constexpr int kLevel = 1;
constexpr int kStrategy = Z_RLE;

void OnPngError(png_structp png, png_const_charp)
{
    std::longjmp(png_jmpbuf(png), 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Writes an RGB32 picture; libpng reports errors by jumping back here, so
// nothing between setjmp and the writes owns resources.
bool WriteRgb32(std::FILE* file, const QImage& image)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kFilter);
    png_set_compression_level(png, kLevel);
    png_set_compression_strategy(png, kStrategy);
    png_write_info(png, info);
    // RGB32 pixels are 0xffRRGGBB words: B, G, R, X in memory on little-endian
    // hosts, X, R, G, B on big-endian ones.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool PngFile::save(const QImage& image, const std::string& path)
{
    if (image.isNull())
        return false;
    const QImage pixels = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0644);
    std::vector<char> buffer(1 << 20); // fewer, larger writes; outlives the stream
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    const bool written = WriteRgb32(file, pixels);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}
