#pragma once

#include <QWidget>

// The base of the shell's small windows (password, help, about, pairing
// code): a top-level window that stays above ordinary application windows,
// is centred on the screen and brought to the front when opened. Each
// controller is the window itself; its layout comes from the Designer file
// of the same name.
class WindowCtl : public QWidget {
    Q_OBJECT
public:
    explicit WindowCtl(QWidget* parent = nullptr);

    // Puts the window in the middle of the available area of its screen
    // (the primary screen before it is first shown).
    void center();
    // Shows the window in front of the others and gives it the keyboard.
    void makeKeyAndOrderFront();
};
