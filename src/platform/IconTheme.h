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
    static std::string png(const std::string& nameOrPath, int size = 64);
    // The generic document icon shipped with the program.
    static std::string genericPng();
};
