#include "ServiceProcess.h"

#include "BaseSocket.h"
#include "Log.h"
#include "PayloadBudget.h"
#include "SConfig.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/uio.h>

ServiceProcess::ServiceProcess(int connSock) : sock(connSock) {}

ServiceProcess::~ServiceProcess()
{
    ReleaseBody();
}

void ServiceProcess::ProcessLiveMsg(const char*) {}
void ServiceProcess::ProcessUpload(CData*, CData*, CData*) {}
void ServiceProcess::ProcessOpBussiness(CData*, CData*, CData*) {}

bool ServiceProcess::BodyShownInLog(const CData&) const
{
    return false;
}

bool ServiceProcess::HeadIs(const CData& requestHead, std::string_view name)
{
    return !requestHead.IsFile() && requestHead.Text() == name;
}

void ServiceProcess::ReleaseBody()
{
    body.Clear();
    if (budgetUsed != nullptr)
        budgetUsed->Give(budgetTaken);
    budgetUsed = nullptr;
    budgetTaken = 0;
}

bool ServiceProcess::WaitReadable()
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        const long long idle = static_cast<long long>(limits.seconds) * 1000;
        pollfd connection{sock, POLLIN, 0};
        const int ready = ::poll(&connection, 1, static_cast<int>(std::min<long long>(left, idle)));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0; // 0: silent for the idle time, or the time is up
    }
}

size_t ServiceProcess::TakeReadAhead(char* buf, size_t max)
{
    const size_t count = std::min(max, aheadEnd - aheadStart);
    std::memcpy(buf, readAhead + aheadStart, count);
    aheadStart += count;
    return count;
}

bool ServiceProcess::ReadExact(char* buf, long long len)
{
    char* position = buf + TakeReadAhead(buf, static_cast<size_t>(len));
    long long remaining = len - (position - buf);
    while (remaining > 0) {
        // Small reads go through the read-ahead buffer, large ones straight
        // into their destination.
        const bool small = remaining < static_cast<long long>(sizeof readAhead);
        char* target = small ? readAhead : position;
        const size_t want = small ? sizeof readAhead : static_cast<size_t>(std::min<long long>(remaining, SConfig::kPayloadChunk));
        // Under a deadline the socket is only read when it has bytes, so a
        // silent peer cannot keep the read waiting past the deadline; only
        // the first read may wait, when the socket's own limit ends that
        // wait in time.
        const bool timed = deadline != Clock::time_point::max();
        const bool mayWait =
            !timed || (!readBefore && limits.socketSeconds > 0 && limits.socketSeconds <= limits.seconds);
        readBefore = true;
        const ssize_t got = ::recv(sock, target, want, mayWait ? 0 : MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && timed && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitReadable())
            continue;
        if (got <= 0) {
            *position = 0;
            return false;
        }
        if (small) {
            aheadStart = 0;
            aheadEnd = static_cast<size_t>(got);
            const size_t taken = TakeReadAhead(position, static_cast<size_t>(remaining));
            position += taken;
            remaining -= static_cast<long long>(taken);
        } else {
            position += got;
            remaining -= got;
        }
    }
    *position = 0;
    return true;
}

long long ServiceProcess::ReadSizePacket()
{
    char packet[SConfig::kSizePacketLen + 1] = {};
    if (!ReadExact(packet, SConfig::kSizePacketLen))
        return -2;
    return std::atoll(packet);
}

bool ServiceProcess::RecvSizeAndData(CData* data, long long maxLength)
{
    const long long length = ReadSizePacket();
    if (length < 0 || length > maxLength)
        return false;
    if (length > SConfig::kLargeBody && limits.bodyBudget != nullptr) {
        if (budgetUsed != nullptr || !limits.bodyBudget->Take(length))
            return false;
        budgetUsed = limits.bodyBudget;
        budgetTaken = length;
    }
    // A long payload may take longer, but only at a useful rate.
    if (deadline != Clock::time_point::max() && limits.minBodyRate > 0)
        deadline += std::chrono::seconds(length / limits.minBodyRate);
    // The memory grows with the bytes received, doubling each time the
    // bytes so far have filled it.
    if (!data->Resize(std::min(length, SConfig::kFirstBodyStep)))
        return false;
    for (long long have = 0;;) {
        if (!ReadExact(data->pData + have, data->size - have))
            return false;
        have = data->size;
        if (have == length)
            return true;
        if (!data->Resize(std::min(length, have * 2)))
            return false;
    }
}

NetResult ServiceProcess::RecvHead(CData* data)
{
    return RecvSizeAndData(data, limits.maxHead) ? NR_OK : NR_RecvHeadError;
}

NetResult ServiceProcess::RecvBody(CData* data)
{
    return RecvSizeAndData(data, limits.maxBody) ? NR_OK : NR_RecvBodyError;
}

// A small memory reply goes out together with its size packet in one call,
// which saves a system call and a packet per request.
static bool SendPacketWithPayload(int sock, const CData* reply)
{
    char packet[SConfig::kSizePacketLen + 1] = {};
    std::snprintf(packet, sizeof packet, "%lld", reply->size);
    iovec parts[2] = {{packet, SConfig::kSizePacketLen}, {reply->pData, static_cast<size_t>(reply->size)}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = reply->size > 0 ? 2 : 1;
    const size_t total = SConfig::kSizePacketLen + static_cast<size_t>(reply->size > 0 ? reply->size : 0);
    ssize_t sent;
    do {
        sent = ::sendmsg(sock, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return false;
    if (static_cast<size_t>(sent) == total)
        return true;
    // Partial send: finish what is left with the ordinary loops.
    size_t done = static_cast<size_t>(sent);
    if (done < SConfig::kSizePacketLen) {
        if (!BaseSocket::SendFromBuf(sock, packet + done, SConfig::kSizePacketLen - done, SConfig::kSizePacketLen, 0))
            return false;
        done = SConfig::kSizePacketLen;
    }
    const size_t payloadDone = done - SConfig::kSizePacketLen;
    return BaseSocket::SendFromBuf(sock, reply->pData + payloadDone,
                                   reply->size - static_cast<long long>(payloadDone), SConfig::kPayloadChunk, 0);
}

NetResult ServiceProcess::SendResponse(CData* reply)
{
    if (!reply->IsFile() && reply->size <= SConfig::kPayloadChunk)
        return SendPacketWithPayload(sock, reply) ? NR_OK : NR_SendError;
    if (!BaseSocket::SendSizePacket(sock, reply->size))
        return NR_SendError;
    return BaseSocket::SendFromCData(sock, reply, SConfig::kPayloadChunk, 0) ? NR_OK : NR_SendError;
}

NetResult ServiceProcess::ProcessConn()
{
    deadline = Clock::now() + std::chrono::seconds(limits.seconds);
    NetResult result = RecvHead(&head);
    if (result == NR_OK)
        result = RecvBody(&body);
    deadline = Clock::time_point::max(); // what follows has limits of its own
    if (result != NR_OK)
        return result;
    CData* reply = ProcessBussiness(&head, &body);
    if (reply == nullptr)
        reply = new CData;
    result = SendResponse(reply);
    delete reply;
    return result;
}

CData* ServiceProcess::ProcessBussiness(CData* requestHead, CData* requestBody)
{
    const char* headText = requestHead->pData ? requestHead->pData : "";
    if (BodyShownInLog(*requestHead))
        Log::Printf("ProcessBussiness:\n[Head]:%s\n[Body]:%s\n", headText, requestBody->pData ? requestBody->pData : "");
    else
        Log::Printf("ProcessBussiness:\n[Head]:%s\n[Body]:<%lld bytes>\n", headText, requestBody->size);
    CData* reply = new CData;
    if (HeadIs(*requestHead, SConfig::kHeadKeepAlive)) {
        RunLiveChannel();
    } else if (HeadIs(*requestHead, SConfig::kHeadUpload)) {
        try {
            ProcessUpload(requestHead, requestBody, reply);
        } catch (...) {
            // the reply goes out as far as it was filled
        }
    } else {
        try {
            ProcessOpBussiness(requestHead, requestBody, reply);
        } catch (...) {
            // the reply goes out as far as it was filled
        }
    }
    return reply;
}

// Reads the channel's 256-byte records and hands them over one at a time, in
// order, until the peer closes. Records are read in batches, so a burst of
// small messages costs one system call rather than one per message.
void ServiceProcess::RunLiveChannel()
{
    // A phone moving the pointer wants low latency: ask for real-time
    // round-robin scheduling, and give it back when the channel ends, since
    // the thread serves other connections afterwards.
    int oldPolicy = SCHED_OTHER;
    sched_param oldParam{};
    pthread_getschedparam(pthread_self(), &oldPolicy, &oldParam);
    sched_param realtime{};
    realtime.sched_priority = 99;
    const bool raised = pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) == 0;
    // The channel needs nothing of its body.
    ReleaseBody();

    // Live channels may stay quiet for as long as the user does nothing.
    const timeval noLimit{0, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &noLimit, sizeof noLimit);
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);

    constexpr size_t kRecord = SConfig::kLiveMsgLen;
    char stream[kRecord * 64];
    // Hands over every whole record in the buffer and keeps the rest.
    const auto handleRecords = [&](size_t have) {
        // The log lines of one batch of records go out in one write.
        Log::Batch lines;
        size_t used = 0;
        while (have - used >= kRecord) {
            char message[kRecord + 1];
            std::memcpy(message, stream + used, kRecord);
            message[kRecord] = 0;
            used += kRecord;
            try {
                ProcessLiveMsg(message);
            } catch (...) {
                // a bad message is dropped; the channel goes on
            }
        }
        std::memmove(stream, stream + used, have - used);
        return have - used;
    };
    // Messages that came with the head are handled first.
    size_t have = handleRecords(TakeReadAhead(stream, sizeof stream));
    for (;;) {
        const ssize_t got = ::recv(sock, stream + have, sizeof stream - have, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        have = handleRecords(have + static_cast<size_t>(got));
    }

    if (raised)
        pthread_setschedparam(pthread_self(), oldPolicy, &oldParam);
}
