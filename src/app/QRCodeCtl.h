#pragma once

#include "WindowCtl.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class QRCodeCtl;
}

// The pairing window: a QR code of this computer's IPv4 addresses that the
// phone app scans to learn where to connect.
class QRCodeCtl : public WindowCtl {
    Q_OBJECT
public:
    // Where the host's address texts come from (the system's list, in its
    // order, unless a test supplies its own).
    using AddressSource = std::function<std::vector<std::string>()>;

    explicit QRCodeCtl(AddressSource addresses = {}, QWidget* parent = nullptr);
    ~QRCodeCtl() override;

    // The pairing text: each qualifying address followed by "^_7"; empty
    // when none qualifies.
    static QString getIPStr(const std::vector<std::string>& addresses);
    static QString getIPStr();

    // Draws the code of the current addresses into the window. False after
    // an alert has told the user why there is no code.
    bool updateQRImg();

    static constexpr int kImageDimension = 300;

private:
    void windowDidLoad();

    std::unique_ptr<Ui::QRCodeCtl> ui;
    AddressSource addresses;
};
