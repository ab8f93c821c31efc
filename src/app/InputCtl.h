#pragma once

#include "InputWindow.h"

#include <memory>
#include <string>

class QWidget;
namespace Ui {
class InputCtl;
}

// The text-input window: a small window above ordinary windows with a text
// field and a Send button, laid out by the interface file "InputCtl". The
// window is made, centred on the screen, the first time it is needed, and
// lives as long as its controller. Its alpha is its visible state: 1 on the
// screen, 0 taken off it for real (most X desktops do not honour window
// opacity, and an invisible window must not catch clicks). Main thread only.
class InputCtl : public InputWindow {
public:
    InputCtl();
    ~InputCtl() override;
    InputCtl(const InputCtl&) = delete;
    InputCtl& operator=(const InputCtl&) = delete;

    void show() override;
    void hide() override;
    void resetTxt(const std::string& text) override;
    std::string getTxt() override;
    bool getSendFlag() override;
    void resetSendFlag() override;

    // The Send button (and Return in the field): the text is ready for the
    // phone, and stays in the field until the phone collects it.
    void sendMsg();

    // The window, null until it is first needed.
    QWidget* window() const;
    double alpha() const { return windowAlpha; }

private:
    QWidget& load();

    std::unique_ptr<QWidget> win;
    std::unique_ptr<Ui::InputCtl> ui;
    double windowAlpha = 1.0;
    bool sendFlag = false;
};
