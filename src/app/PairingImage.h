#pragma once

#include <QCoreApplication>
#include <string>

// The pairing code (PairingCode) as a PNG file.
class PairingImage {
    // The texts keep the context they were translated in.
    Q_DECLARE_TR_FUNCTIONS(PairingCode)
public:
    PairingImage() = delete;

    // Writes the code as an opaque PNG image of dimension pixels with a white
    // quiet zone of at least four modules. False with a message in error (in
    // the user's language) when there is no qualifying address, the code
    // cannot be made, or the file cannot be written (an existing file is
    // then left as it was).
    static bool WritePng(const std::string& path, std::string& error, int dimension = 300);
};
