#include "TrustCommand.h"

#include "Config.h"
#include "PeerNames.h"

#include <cstdio>

namespace {

void Say(const QString& text)
{
    std::printf("corvane: %s\n", text.toUtf8().constData());
}

} // namespace

int TrustCommand::Run(const LaunchOptions& options)
{
    const QString address = QString::fromStdString(options.trustAddress);
    switch (options.trustAction) {
    case LaunchOptions::TrustAction::Trust:
        Config::trustDevice(options.trustAddress, "");
        Say(tr("%1 is trusted").arg(address));
        return 0;
    case LaunchOptions::TrustAction::Untrust:
        if (Config::untrustDevice(options.trustAddress)) {
            Say(tr("%1 is no longer trusted").arg(address));
            return 0;
        }
        Say(tr("%1 was not trusted").arg(address));
        return 1;
    case LaunchOptions::TrustAction::List:
    case LaunchOptions::TrustAction::None:
        break;
    }
    const std::vector<TrustedDevice> devices = Config::trustedDevices();
    if (devices.empty())
        Say(tr("no trusted devices"));
    // One line per device: address, name, when it was allowed. The file may
    // have been edited by hand: nothing in it reaches the terminal as
    // control characters.
    for (const TrustedDevice& device : devices) {
        const std::string name = PeerNames::Clean(device.name.c_str());
        std::printf("%s\t%s\t%s\n", PeerNames::Clean(device.address.c_str()).c_str(), name.empty() ? "-" : name.c_str(),
                    PeerNames::Clean(device.approved.c_str()).c_str());
    }
    if (!Config::isApproveDevices())
        Say(tr("approve_devices is off: every device the network rules allow is served"));
    return 0;
}
