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
                error = std::string(option) + " needs a port number from 1 to 65535";
                return false;
            }
        } else if (std::strcmp(option, "--broadcast") == 0) {
            in_addr address{};
            if (!hasValue || ::inet_pton(AF_INET, argv[i + 1], &address) != 1) {
                error = "--broadcast needs an IPv4 address";
                return false;
            }
            broadcast = argv[++i];
        } else if (std::strcmp(option, "--trust") == 0 || std::strcmp(option, "--untrust") == 0) {
            in_addr address{};
            char dotted[INET_ADDRSTRLEN] = {};
            if (!hasValue || ::inet_pton(AF_INET, argv[i + 1], &address) != 1 ||
                ::inet_ntop(AF_INET, &address, dotted, sizeof dotted) == nullptr) {
                error = std::string(option) + " needs an IPv4 address";
                return false;
            }
            trustAction = option[2] == 't' ? TrustAction::Trust : TrustAction::Untrust;
            trustAddress = dotted;
            ++i;
        } else if (std::strcmp(option, "--trusted") == 0) {
            trustAction = TrustAction::List;
        } else if (std::strcmp(option, "--pairing-qr") == 0) {
            if (!hasValue || argv[i + 1][0] == 0) {
                error = "--pairing-qr needs a file name";
                return false;
            }
            pairingQrFile = argv[++i];
        } else if (std::strcmp(option, "--backend") == 0) {
            if (!hasValue || (std::strcmp(argv[i + 1], "auto") != 0 && !BackendProbe::Parse(argv[i + 1]))) {
                error = "--backend needs one of auto, x11, gnome, kde, wlroots";
                return false;
            }
            backend = argv[++i];
        } else if (std::strcmp(option, "--autostart") == 0) {
            const char* value = hasValue ? argv[++i] : "";
            if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) {
                error = "--autostart needs on or off";
                return false;
            }
            autostart = std::strcmp(value, "on") == 0;
        } else {
            error = std::string("unknown option ") + option;
            return false;
        }
    }
    return true;
}

const char* LaunchOptions::Usage()
{
    return "Usage: corvane [options]\n"
           "Lets the Corvane phone app control this computer over the local network.\n"
           "\n"
           "  --port N            TCP port for requests (default 1811)\n"
           "  --udp-port N        UDP port for discovery (default 1822)\n"
           "  --broadcast ADDR    address discovery broadcasts go to (default 255.255.255.255)\n"
           "  --headless          run without windows, even when a display is available\n"
           "  --backend NAME      the desktop to drive: auto (default: probe the session),\n"
           "                      x11, gnome, kde or wlroots; CORVANE_BACKEND=NAME does the same\n"
           "  --pairing-qr FILE   write the pairing QR code as a PNG image and exit\n"
           "  --trust ADDR        let the phone at this IPv4 address control this computer, and exit\n"
           "  --untrust ADDR      take the address off the trusted devices, and exit\n"
           "  --trusted           list the trusted devices and exit\n"
           "  --autostart on|off  start Corvane at login or not, then exit (the first\n"
           "                      launch turns it on; the tray menu changes it too)\n"
           "  --version           print the version and exit\n"
           "  --help              print this help and exit\n";
}
