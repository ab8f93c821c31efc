#pragma once

#include "Config.h"
#include "WindowCtl.h"

#include <QTimer>
#include <memory>
#include <vector>

namespace Ui {
class TrustCtl;
}

// The trusted-device window: the devices allowed to control this computer
// (name, address, when allowed), each with "移除" to take it off the list,
// and the check box "新设备需要批准" for the "approve_devices" setting. It
// follows changes made elsewhere (an answer to a question, the terminal)
// while it is open.
class TrustCtl : public WindowCtl {
    Q_OBJECT
public:
    explicit TrustCtl(QWidget* parent = nullptr);
    ~TrustCtl() override;

    // How often the settings are looked at for changes made elsewhere.
    static constexpr int kRefreshMs = 1000;

public slots:
    // Shows the list and the setting as the settings file has them now.
    void reloadData();

private:
    void showDevices(const std::vector<TrustedDevice>& devices);

    std::unique_ptr<Ui::TrustCtl> ui;
    std::vector<TrustedDevice> shown;
    QTimer refresh;
};
