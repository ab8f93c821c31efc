#include "PairingCode.h"

#include "HostAddresses.h"
#include "QREncoder.h"

namespace {

constexpr int kLevelL = 0;
constexpr int kSmallestVersion = -1;

} // namespace

std::unique_ptr<DataMatrix> PairingCode::Matrix(const std::string& payload)
{
    return QREncoder::encodeCStringWithECLevel(kLevelL, kSmallestVersion, payload.c_str());
}

std::string PairingCode::TerminalText()
{
    const std::string payload = HostAddresses::pairingPayload();
    if (payload.empty())
        return {};
    const std::unique_ptr<DataMatrix> matrix = Matrix(payload);
    return matrix ? QREncoder::renderTerminal(*matrix) : std::string();
}
