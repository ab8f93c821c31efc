// Request framing on a socket pair: the bytes of one connection, as a peer
// would send them, go into a request processor whose operations only
// record what reaches them. Checks that nothing larger than the limits gets
// through and that a reply, when one is sent, is framed exactly.
#include "CData.h"
#include "FuzzCheck.h"
#include "PayloadBudget.h"
#include "ServiceProcess.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr long long kMaxBody = 1 << 20;

class Recorder : public ServiceProcess {
public:
    explicit Recorder(int sock) : ServiceProcess(sock) {}

    void ProcessLiveMsg(const char* msg) override { FUZZ_CHECK(std::strlen(msg) <= 256); }
    void ProcessOpBussiness(CData* requestHead, CData* requestBody, CData* reply) override
    {
        FUZZ_CHECK(requestHead->size <= limits.maxHead && requestBody->size <= kMaxBody);
        FUZZ_CHECK(requestHead->pData[requestHead->size] == 0 && requestBody->pData[requestBody->size] == 0);
        reply->SetData(requestBody->pData, requestBody->size); // echoed, to check the reply's framing
    }
};

PayloadBudget budget(2 * kMaxBody);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 128 * 1024)
        return 0; // more than the socket pair buffers without a writer thread
    int ends[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    const int buffer = 1 << 20;
    ::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    FUZZ_CHECK(::send(ends[0], data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size));
    ::shutdown(ends[0], SHUT_WR);

    NetResult result;
    {
        Recorder request(ends[1]);
        request.limits.seconds = 1;
        request.limits.maxBody = kMaxBody;
        request.limits.bodyBudget = &budget;
        result = request.ProcessConn();
    }
    FUZZ_CHECK(budget.Left() == 2 * kMaxBody); // every request gives back what it took
    ::shutdown(ends[1], SHUT_WR);

    std::string reply;
    char chunk[65536];
    for (ssize_t got; (got = ::recv(ends[0], chunk, sizeof chunk, 0)) > 0;)
        reply.append(chunk, static_cast<std::size_t>(got));
    if (result == NR_OK) {
        FUZZ_CHECK(reply.size() >= 64);
        const long long announced = std::atoll(reply.substr(0, 64).c_str());
        FUZZ_CHECK(announced >= 0 && reply.size() == 64 + static_cast<std::size_t>(announced));
    } else {
        FUZZ_CHECK(reply.empty()); // a request that was not read whole gets no reply
    }
    ::close(ends[0]);
    ::close(ends[1]);
    return 0;
}
