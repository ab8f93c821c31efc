#include "BaseSocket.h"

#include "CData.h"
#include "Log.h"
#include "SConfig.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

BaseSocket::~BaseSocket()
{
    Log::Printf("%s::~%s\n", "BaseSocket", "BaseSocket");
    Close();
}

void BaseSocket::SetInfo(const char* newIp, int newPort, long newTimeout)
{
    std::snprintf(ip, sizeof ip, "%s", newIp ? newIp : "");
    port = newPort;
    timeout = newTimeout;
}

void BaseSocket::Close()
{
    if (sock > 0) {
        ::close(sock);
        sock = 0;
    }
}

void BaseSocket::HaveRecvData(int, GetDataStatus, const void*, long long) {}

bool BaseSocket::RecvData(int id, int fd, long long len, long chunk, int flags)
{
    HaveRecvData(id, GetData_Start, nullptr, len);
    char buffer[SConfig::kPayloadChunk];
    const long step = std::min<long>(chunk, sizeof buffer);
    long long remaining = len;
    ssize_t last = 1;
    while (remaining > 0) {
        last = ::recv(fd, buffer, static_cast<size_t>(std::min<long long>(remaining, step)), flags);
        if (last < 0 && errno == EINTR)
            continue;
        if (last <= 0)
            break;
        remaining -= last;
        HaveRecvData(id, GetData_Receiving, buffer, last);
    }
    HaveRecvData(id, GetData_Finish, nullptr, 0);
    return last > 0;
}

long long BaseSocket::GetSizePacket(int fd)
{
    char packet[SConfig::kSizePacketLen + 1] = {};
    if (!RecvToBuf(fd, packet, SConfig::kSizePacketLen, SConfig::kSizePacketLen, 0))
        return -2;
    return std::atoll(packet);
}

bool BaseSocket::SendSizePacket(int fd, long long size)
{
    char packet[SConfig::kSizePacketLen + 1] = {};
    std::snprintf(packet, sizeof packet, "%lld", size);
    return SendFromBuf(fd, packet, SConfig::kSizePacketLen, SConfig::kSizePacketLen, 0);
}

bool BaseSocket::RecvToBuf(int fd, char* buf, long long len, long chunk, int flags)
{
    long long remaining = len;
    ssize_t last = 1;
    char* position = buf;
    while (remaining > 0) {
        last = ::recv(fd, position, static_cast<size_t>(std::min<long long>(remaining, chunk)), flags);
        if (last < 0 && errno == EINTR)
            continue;
        if (last <= 0)
            break;
        position += last;
        remaining -= last;
    }
    *position = 0;
    return last > 0;
}

bool BaseSocket::SendFromBuf(int fd, const char* buf, long long len, long chunk, int flags)
{
    long long remaining = len;
    const char* position = buf;
    while (remaining > 0) {
        const ssize_t sent = ::send(fd, position, static_cast<size_t>(std::min<long long>(remaining, chunk)),
                                    flags | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        position += sent;
        remaining -= sent;
    }
    return true;
}

// Sends exactly `size` bytes of the file opened at attach time. The kernel
// copies file pages straight to the socket, so nothing passes through user
// memory. A file that shrank since it was measured cannot deliver the bytes
// that were announced: the send fails and the connection is closed rather
// than sending a short or padded payload.
static bool SendFileRange(int sock, int fd, long long size)
{
    off_t offset = 0;
    long long remaining = size;
    while (remaining > 0) {
        const size_t want = static_cast<size_t>(std::min<long long>(remaining, 1LL << 30));
        const ssize_t sent = ::sendfile(sock, fd, &offset, want);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        remaining -= sent;
    }
    return true;
}

bool BaseSocket::SendFromCData(int fd, CData* data, long chunk, int flags)
{
    if (data == nullptr)
        return true;
    if (!data->IsFile())
        return SendFromBuf(fd, data->pData, data->size, chunk, flags);
    if (data->FileDescriptor() < 0 || data->size <= 0)
        return true; // the size packet already said -1 (or 0): nothing follows
    return SendFileRange(fd, data->FileDescriptor(), data->size);
}
