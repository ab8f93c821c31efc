#pragma once

#include "DataMatrix.h"

#include <memory>
#include <string>

// The pairing QR code a phone scans to learn where to connect: this host's
// qualifying IPv4 addresses, each followed by "^_7", at level L in the
// smallest version that holds them. PairingImage writes it as a picture.
class PairingCode {
public:
    PairingCode() = delete;

    // The code of a payload (HostAddresses::pairingPayload); null when it
    // does not fit.
    static std::unique_ptr<DataMatrix> Matrix(const std::string& payload);
    // The code as terminal text (see QREncoder::renderTerminal); empty when
    // there is no qualifying address.
    static std::string TerminalText();
};
