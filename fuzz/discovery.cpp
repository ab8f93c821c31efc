// Discovery datagrams: the first four bytes of an input are the sender's
// IPv4 address, the fifth says whether the LAN-only rule is on, the rest
// is the datagram as the receive thread would hand it over. Answers go to
// a socket of the fuzzer's on loopback. Checks that the address rule holds,
// that only queries are answered, never more often than the pace allows,
// and that every answer is a well-formed 256-byte record.
#include "FuzzCheck.h"
#include "SCommon.h"
#include "SConfig.h"
#include "UDPSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class Discovery : public UDPSocket {
public:
    void ProcessMsg(const char* uuid, UDPMsgType type, const char* name, const char* peerIp, SysType sysType) override
    {
        ++handled;
        FUZZ_CHECK(std::strcmp(uuid, getUUID()) != 0);
        UDPSocket::ProcessMsg(uuid, type, name, peerIp, sysType);
    }
    int handled = 0;
};

int answers = -1; // the fuzzer's socket that hears the answers
Discovery* discovery = nullptr;
long long answersHeard = 0;
const auto started = std::chrono::steady_clock::now();

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    answers = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(answers, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(answers, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    discovery = new Discovery;
    discovery->port = ntohs(address.sin_port);
    std::strcpy(discovery->broadcastIp, "127.0.0.1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    std::memcpy(&from.sin_addr.s_addr, data, 4);
    discovery->lanOnly = (data[4] & 1) != 0;
    char datagram[SConfig::kDatagramLen + 1] = {};
    std::memcpy(datagram, data + 5, std::min<std::size_t>(size - 5, SConfig::kDatagramLen));

    discovery->handled = 0;
    discovery->HandleDatagram(datagram, from);
    const std::vector<std::string> fields = split(datagram, SConfig::kFieldSep);
    const bool served = servesPeer(from, discovery->lanOnly);
    FUZZ_CHECK(discovery->handled == (served && fields.size() >= 4 && fields[3] != getUUID() ? 1 : 0));

    int heard = 0;
    char answer[512];
    for (ssize_t got; (got = ::recv(answers, answer, sizeof answer, 0)) >= 0; ++heard) {
        FUZZ_CHECK(got == SConfig::kDatagramLen && std::strncmp(answer, "1^_7", 4) == 0);
        FUZZ_CHECK(std::string(answer).find(getUUID()) != std::string::npos);
    }
    FUZZ_CHECK(heard <= 1 && (heard == 0 || (discovery->handled == 1 && std::atoi(fields[0].c_str()) == 0)));
    answersHeard += heard;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    FUZZ_CHECK(answersHeard <= SConfig::kDiscoveryAnswerBurst + SConfig::kDiscoveryAnswersPerSecond * seconds + 1);
    return 0;
}
