#pragma once

#include <optional>
#include <string>

// The command line of the corvane program.
class LaunchOptions {
public:
    // Reads argv; false (with error set) for an unknown option or a bad value.
    bool Parse(int argc, char** argv);
    static const char* Usage();

    int tcpPort = 1811;
    int udpPort = 1822;
    std::string broadcast = "255.255.255.255";
    bool headless = false;
    bool showVersion = false;
    bool showHelp = false;
    std::string pairingQrFile; // --pairing-qr FILE.png: write the pairing code and exit
    std::string backend;       // --backend NAME: the desktop backend, empty or "auto" to probe
    // --trust ADDR, --untrust ADDR, --trusted: change or show the trusted
    // devices and exit. trustAddress is the address in dotted form.
    enum class TrustAction { None, Trust, Untrust, List };
    TrustAction trustAction = TrustAction::None;
    std::string trustAddress;
    std::optional<bool> autostart; // --autostart on|off: change start at login and exit
    std::string error;
};
