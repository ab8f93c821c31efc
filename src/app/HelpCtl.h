#pragma once

#include "SConfig.h"
#include "WindowCtl.h"

#include <memory>

namespace Ui {
class HelpCtl;
}

// The help window: how to pair a phone, what it can do and what protects
// the computer, as one page in a scroll view, opened at its top. The page
// names the ports the service uses. It is 583 pixels wide and 2045 high, or
// higher where the user's fonts need more room for its texts.
class HelpCtl : public WindowCtl {
    Q_OBJECT
public:
    explicit HelpCtl(int tcpPort = SConfig::kServicePort, int udpPort = SConfig::kDiscoveryPort,
                     QWidget* parent = nullptr);
    ~HelpCtl() override;

    static constexpr int kPageWidth = 583;
    static constexpr int kPageHeight = 2045;

private:
    void windowDidLoad(int tcpPort, int udpPort);

    std::unique_ptr<Ui::HelpCtl> ui;
};
