#pragma once

#include <string>

// Small previews of picture files for the phone's file lists.
class Thumbnail {
public:
    Thumbnail() = delete;

    // The longer side of every preview, in pixels.
    static constexpr int kLongSide = 80;

    // The preview size of a width × height picture: the longer side becomes
    // kLongSide and the other keeps the aspect ratio, truncated to whole
    // pixels (never below 1); smaller pictures are scaled up. 400 × 200 gives
    // 80 × 40, 100 × 30 gives 80 × 24, 40 × 40 gives 80 × 80.
    static void fit(int width, int height, int& fittedWidth, int& fittedHeight);

    // Decoding a picture costs memory and time by its pixels, which a small
    // file can claim by the billion. A picture whose decoding would produce
    // more than this many pixels is not decoded.
    static constexpr long long kMaxDecodedPixels = 4096LL * 4096;
    // Pictures decoded at once; a request waits for its turn at most
    // kDecodeWaitSeconds, then gets no preview.
    static constexpr int kDecodesAtOnce = 2;
    static constexpr int kDecodeWaitSeconds = 10;

    // The picture in the regular file at path as a JPEG (quality 80) of the
    // fitted size, or empty when the file is not a picture that decodes
    // within the limits above. Formats that can decode at a reduced scale
    // (JPEG at 1/2, 1/4, 1/8) do so. Transparent parts are shown on white.
    // Special files (pipes, devices) are never read.
    static std::string jpeg(const std::string& path);
};
