#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>
#include <string>

// The command line of the corvane program.
class LaunchOptions {
    Q_DECLARE_TR_FUNCTIONS(LaunchOptions)

public:
    // Reads argv; false (with error set) for an unknown option or a bad value.
    bool Parse(int argc, char** argv);
    // Whether the options ask for one thing that ends the program (the help,
    // the version, a trust or autostart change, the pairing code) instead
    // of the service.
    bool EndsAtOnce() const;
    // The help and a failed Parse's message, in the user's language.
    static QString Usage();
    QString Error() const;

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

private:
    bool Fail(const char* what, const char* option);

    // What was wrong, untranslated, with %1 for the option it concerns.
    const char* error = nullptr;
    std::string errorOption;
};
