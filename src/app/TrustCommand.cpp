#include "TrustCommand.h"

#include "Config.h"
#include "PeerNames.h"

#include <cstdio>

int TrustCommand::Run(const LaunchOptions& options)
{
    const char* address = options.trustAddress.c_str();
    switch (options.trustAction) {
    case LaunchOptions::TrustAction::Trust:
        Config::trustDevice(options.trustAddress, "");
        std::printf("corvane: %s is trusted\n", address);
        return 0;
    case LaunchOptions::TrustAction::Untrust:
        if (Config::untrustDevice(options.trustAddress)) {
            std::printf("corvane: %s is no longer trusted\n", address);
            return 0;
        }
        std::printf("corvane: %s was not trusted\n", address);
        return 1;
    case LaunchOptions::TrustAction::List:
    case LaunchOptions::TrustAction::None:
        break;
    }
    const std::vector<TrustedDevice> devices = Config::trustedDevices();
    if (devices.empty())
        std::printf("corvane: no trusted devices\n");
    // One line per device: address, name, when it was allowed. The file may
    // have been edited by hand: nothing in it reaches the terminal as
    // control characters.
    for (const TrustedDevice& device : devices) {
        const std::string name = PeerNames::Clean(device.name.c_str());
        std::printf("%s\t%s\t%s\n", PeerNames::Clean(device.address.c_str()).c_str(), name.empty() ? "-" : name.c_str(),
                    PeerNames::Clean(device.approved.c_str()).c_str());
    }
    if (!Config::isApproveDevices())
        std::printf("corvane: approve_devices is off: every device the network rules allow is served\n");
    return 0;
}
