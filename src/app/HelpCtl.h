#pragma once

#include "WindowCtl.h"

#include <memory>

namespace Ui {
class HelpCtl;
}

// The help window: how to pair a phone and what it can do, as one page in a
// scroll view, opened at its top. The page is 583 pixels wide and 2045 high,
// or higher where the user's fonts need more room for its texts.
class HelpCtl : public WindowCtl {
    Q_OBJECT
public:
    explicit HelpCtl(QWidget* parent = nullptr);
    ~HelpCtl() override;

    static constexpr int kPageWidth = 583;
    static constexpr int kPageHeight = 2045;

private:
    void windowDidLoad();

    std::unique_ptr<Ui::HelpCtl> ui;
};
