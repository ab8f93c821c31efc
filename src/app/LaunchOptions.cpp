#include "LaunchOptions.h"

#include "BackendProbe.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>

namespace {

bool ReadPort(const char* text, int& port)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || value < 1 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

} // namespace

bool LaunchOptions::Parse(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(option, "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(option, "--version") == 0) {
            showVersion = true;
        } else if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
            showHelp = true;
        } else if (std::strcmp(option, "--port") == 0 || std::strcmp(option, "--udp-port") == 0) {
            int& target = option[2] == 'p' ? tcpPort : udpPort;
            if (!hasValue || !ReadPort(argv[++i], target)) {
                return Fail(QT_TR_NOOP("%1 needs a port number from 1 to 65535"), option);
            }
        } else if (std::strcmp(option, "--broadcast") == 0) {
            in_addr address{};
            if (!hasValue || ::inet_pton(AF_INET, argv[i + 1], &address) != 1) {
                return Fail(QT_TR_NOOP("%1 needs an IPv4 address"), option);
            }
            broadcast = argv[++i];
        } else if (std::strcmp(option, "--trust") == 0 || std::strcmp(option, "--untrust") == 0) {
            in_addr address{};
            char dotted[INET_ADDRSTRLEN] = {};
            if (!hasValue || ::inet_pton(AF_INET, argv[i + 1], &address) != 1 ||
                ::inet_ntop(AF_INET, &address, dotted, sizeof dotted) == nullptr) {
                return Fail(QT_TR_NOOP("%1 needs an IPv4 address"), option);
            }
            trustAction = option[2] == 't' ? TrustAction::Trust : TrustAction::Untrust;
            trustAddress = dotted;
            ++i;
        } else if (std::strcmp(option, "--trusted") == 0) {
            trustAction = TrustAction::List;
        } else if (std::strcmp(option, "--pairing-qr") == 0) {
            if (!hasValue || argv[i + 1][0] == 0) {
                return Fail(QT_TR_NOOP("%1 needs a file name"), option);
            }
            pairingQrFile = argv[++i];
        } else if (std::strcmp(option, "--backend") == 0) {
            if (!hasValue || (std::strcmp(argv[i + 1], "auto") != 0 && !BackendProbe::Parse(argv[i + 1]))) {
                return Fail(QT_TR_NOOP("%1 needs one of auto, x11, gnome, kde, wlroots"), option);
            }
            backend = argv[++i];
        } else if (std::strcmp(option, "--autostart") == 0) {
            const char* value = hasValue ? argv[++i] : "";
            if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) {
                return Fail(QT_TR_NOOP("%1 needs on or off"), option);
            }
            autostart = std::strcmp(value, "on") == 0;
        } else {
            return Fail(QT_TR_NOOP("unknown option %1"), option);
        }
    }
    return true;
}

bool LaunchOptions::EndsAtOnce() const
{
    return showHelp || showVersion || trustAction != TrustAction::None || autostart || !pairingQrFile.empty();
}

bool LaunchOptions::Fail(const char* what, const char* option)
{
    error = what;
    errorOption = option;
    return false;
}

QString LaunchOptions::Error() const
{
    return error != nullptr ? tr(error).arg(QString::fromLocal8Bit(errorOption.c_str())) : QString();
}

QString LaunchOptions::Usage()
{
    // Each option with what it does; a description's further lines line up
    // under its first.
    const std::pair<const char*, const char*> options[] = {
        {"--port N", QT_TR_NOOP("TCP port for requests (default 1811)")},
        {"--udp-port N", QT_TR_NOOP("UDP port for discovery (default 1822)")},
        {"--broadcast ADDR", QT_TR_NOOP("address discovery broadcasts go to (default 255.255.255.255)")},
        {"--headless", QT_TR_NOOP("run without windows, even when a display is available")},
        {"--backend NAME", QT_TR_NOOP("the desktop to drive: auto (default: probe the session),\n"
                                      "x11, gnome, kde or wlroots; CORVANE_BACKEND=NAME does the same")},
        {"--pairing-qr FILE", QT_TR_NOOP("write the pairing QR code as a PNG image and exit")},
        {"--trust ADDR", QT_TR_NOOP("let the phone at this IPv4 address control this computer, and exit")},
        {"--untrust ADDR", QT_TR_NOOP("take the address off the trusted devices, and exit")},
        {"--trusted", QT_TR_NOOP("list the trusted devices and exit")},
        {"--autostart on|off", QT_TR_NOOP("start Corvane at login or not, then exit (the first\n"
                                          "launch turns it on; the tray menu changes it too)")},
        {"--version", QT_TR_NOOP("print the version and exit")},
        {"--help", QT_TR_NOOP("print this help and exit")},
    };
    constexpr int kColumn = 19;
    QString text = tr("Usage: corvane [options]") + QLatin1Char('\n') +
                   tr("Lets the Corvane phone app control this computer over the local network.") +
                   QLatin1String("\n\n");
    for (const auto& [option, description] : options) {
        const QString indent = QLatin1Char('\n') + QString(kColumn + 3, QLatin1Char(' '));
        text += QLatin1String("  ") + QString::fromLatin1(option).leftJustified(kColumn) + QLatin1Char(' ') +
                tr(description).replace(QLatin1Char('\n'), indent) + QLatin1Char('\n');
    }
    return text;
}
