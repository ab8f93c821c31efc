#pragma once

// Window, tab and application-switching shortcuts for the front window.
class WindowEntity {
public:
    WindowEntity() = delete;

    static void Exec(int code);
};
