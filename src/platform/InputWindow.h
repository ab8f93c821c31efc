#pragma once

#include <string>

// The small window, above ordinary windows, in which the phone shows a text
// to the desktop user and collects what the user typed and sent. The
// desktop program installs one at start-up; a service without a display has
// none. Used on the main thread only.
class InputWindow {
public:
    virtual ~InputWindow() = default;

    // Brings the window to the front, visible, with its text field focused.
    virtual void show() = 0;
    // Takes the window off the screen; it keeps its text.
    virtual void hide() = 0;
    // Shows the window with this text (UTF-8) in its field.
    virtual void resetTxt(const std::string& text) = 0;
    // The field's text (UTF-8); shows the window first when it is hidden.
    virtual std::string getTxt() = 0;
    // Whether the user pressed Send since the flag was last reset.
    virtual bool getSendFlag() = 0;
    // Clears the flag and empties the field, showing the window.
    virtual void resetSendFlag() = 0;

    // The installed window, or null.
    static InputWindow* instance();
    // Installs a window; null removes it.
    static void setInstance(InputWindow* window);
};
