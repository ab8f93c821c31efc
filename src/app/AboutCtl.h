#pragma once

#include "WindowCtl.h"

#include <memory>

namespace Ui {
class AboutCtl;
}

// The about window: name, version, what the program does and its licence.
class AboutCtl : public WindowCtl {
    Q_OBJECT
public:
    explicit AboutCtl(QWidget* parent = nullptr);
    ~AboutCtl() override;

private:
    void windowDidLoad();

    std::unique_ptr<Ui::AboutCtl> ui;
};
