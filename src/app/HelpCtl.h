#pragma once

#include "SConfig.h"
#include "WindowCtl.h"

#include <memory>

namespace Ui {
class HelpCtl;
}

// The help window: how to pair a phone, what it can do and what protects
// the computer, as one page of 583 x 2045 pixels in a scroll view, opened at
// its top. The page names the ports the service uses.
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
