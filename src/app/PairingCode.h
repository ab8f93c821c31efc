#pragma once

#include <QCoreApplication>
#include <string>

// The pairing QR code a phone scans to learn where to connect: this host's
// qualifying IPv4 addresses, each followed by "^_7", at level L in the
// smallest version that holds them.
class PairingCode {
    Q_DECLARE_TR_FUNCTIONS(PairingCode)

public:
    PairingCode() = delete;

    // Writes the code as an opaque PNG image of dimension pixels with a white
    // quiet zone of at least four modules. False with a message in error (in
    // the user's language) when there is no qualifying address, the code
    // cannot be made, or the file cannot be written (an existing file is
    // then left as it was).
    static bool WritePng(const std::string& path, std::string& error, int dimension = 300);

    // The code as terminal text (see QREncoder::renderTerminal); empty when
    // there is no qualifying address.
    static std::string TerminalText();
};
