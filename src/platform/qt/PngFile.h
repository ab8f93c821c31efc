#pragma once

#include <string>

class QImage;

// Writes pictures as PNG files, tuned for screenshots: fast enough for a
// full-screen capture on every request, at about the size of a default zlib
// level.
class PngFile {
public:
    PngFile() = delete;

    // Replaces the file at path with the opaque picture (any alpha is
    // dropped). The picture goes to a temporary file beside it that is
    // renamed into place when complete, so a reader never sees half a file.
    // False, leaving any earlier file untouched, when it cannot be written.
    static bool save(const QImage& image, const std::string& path);
};
