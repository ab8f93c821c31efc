#pragma once

#include <string>

// Icons of the desktop's icon theme, as PNG bytes.
class IconTheme {
public:
    IconTheme() = delete;

    // The icon named in the theme (for instance "text-plain" or "firefox"),
    // or the image file when nameOrPath is an absolute path, as PNG at about
    // size pixels. Empty when neither exists. With a desktop application the
    // theme of the session is used; without one (headless) the PNG icons of
    // the hicolor and Adwaita themes and /usr/share/pixmaps are searched.
    // Safe on any thread: with a desktop application the theme is asked on
    // the main thread.
    static std::string png(const std::string& nameOrPath, int size = 64);
    // The icon of the file at path by its type (content and name; a missing
    // path by its name alone): the type's icon, then its generic icon, then
    // the bundled generic one, so there is always a PNG.
    static std::string pngForFile(const std::string& path, int size = 64);
    // The generic document icon shipped with the program.
    static std::string genericPng();
};
