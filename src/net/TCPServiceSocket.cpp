#include "TCPServiceSocket.h"

#include "Log.h"
#include "SCommon.h"
#include "SConfig.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

TCPServiceSocket::TCPServiceSocket()
    : idleSeconds(SConfig::kRequestIdleSeconds), maxConnections(SConfig::kMaxConnections),
      workers(SConfig::kMaxConnections)
{
}

TCPServiceSocket::~TCPServiceSocket()
{
    Shutdown();
}

void TCPServiceSocket::Shutdown()
{
    Stop();
    EndOpenConnections();
    workers.Shutdown();
}

NetResult TCPServiceSocket::Start()
{
    Stop();
    const NetResult result = StartListen();
    if (result != NR_OK) {
        if (sock >= 1)
            ::close(sock);
        sock = 0;
        return result;
    }
    stopping = false;
    listenSock = sock;
    acceptThread = std::thread(&TCPServiceSocket::AcceptThread, this);
    return NR_OK;
}

NetResult TCPServiceSocket::StartListen()
{
    sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 1) {
        Log::Printf("create socket error：%d\n", errno);
        sock = 0;
        return NR_SocketError;
    }
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    serverAddr = {};
    serverAddr.sin_family = AF_INET;
    serverAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    serverAddr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(sock, reinterpret_cast<sockaddr*>(&serverAddr), sizeof serverAddr) != 0) {
        Log::Printf("bind socket error：%d\n", errno);
        return NR_BindError;
    }
    if (::listen(sock, backlog) != 0) {
        Log::Printf("listen socket error：%d\n", errno);
        return NR_ListenError;
    }
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &serverAddr.sin_addr, address, sizeof address);
    Log::Printf("[IP]:[%s]  [Port]:[%d]  [Timeout]:[%ld]\n", address, port, timeout);
    Log::Printf("listen OK!!!\n");
    return NR_OK;
}

void TCPServiceSocket::Stop()
{
    stopping = true;
    // Shutting the listening socket down wakes the accept call, which then
    // fails and ends the accept thread. Whoever takes the descriptor out of
    // listenSock closes it, so it is closed exactly once.
    const int fd = listenSock.exchange(-1);
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    if (acceptThread.joinable())
        acceptThread.join();
    if (fd >= 0)
        ::close(fd);
    sock = 0;
}

void TCPServiceSocket::ProcessConn(ProcessParam*) {}

bool TCPServiceSocket::AcceptPeer(const sockaddr_in& peer)
{
    return !lanOnly || isLanAddress(ntohl(peer.sin_addr.s_addr));
}

void TCPServiceSocket::AcceptThread(TCPServiceSocket* service)
{
    Log::Printf("accept thread start!!!\n");
    service->AcceptLoop();
}

// Errors after which accept can simply be tried again: the connection that
// failed is gone, or the process is short of descriptors or memory for a
// moment. Only a listening socket that no longer works ends the loop.
static bool IsTransientAcceptError(int error)
{
    switch (error) {
    case EINTR: case EAGAIN: case ECONNABORTED: case EPROTO: case EPERM:
    case ENETDOWN: case ENOPROTOOPT: case EHOSTDOWN: case ENONET: case EHOSTUNREACH:
    case EOPNOTSUPP: case ENETUNREACH: case ETIMEDOUT:
    case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM:
        return true;
    default:
        return false;
    }
}

static bool IsResourceShortage(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

void TCPServiceSocket::AcceptLoop()
{
    const int fd = listenSock;
    for (;;) {
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        const int conn = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen, SOCK_CLOEXEC);
        if (stopping)
            break;
        if (conn < 1) {
            const int error = errno;
            if (error == EINTR) {
                Log::Printf("accept error!!! but errno=EINTR , i'll continue\n");
                continue;
            }
            if (IsTransientAcceptError(error)) {
                if (IsResourceShortage(error))
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            Log::Printf("accept error：%d ，you should restart service\n", error);
            break;
        }
        Dispatch(conn, peer);
    }
    if (stopping)
        return;
    // The listening socket failed for good: close it, so new connections are
    // refused until the service is started again.
    int expected = fd;
    if (listenSock.compare_exchange_strong(expected, -1))
        ::close(fd);
}

void TCPServiceSocket::Dispatch(int conn, const sockaddr_in& peer)
{
    if (!AcceptPeer(peer)) {
        ::close(conn);
        return;
    }
    const int on = 1;
    ::setsockopt(conn, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval idle{idleSeconds, 0};
    ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
    ::setsockopt(conn, SOL_SOCKET, SO_SNDTIMEO, &idle, sizeof idle);

    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
    Log::Printf("process conn<ip:%s socket:%d>\n", address, conn);

    auto* param = new ProcessParam{conn, peer, this};
    {
        std::lock_guard lock(openMutex);
        if (static_cast<int>(openSocks.size()) >= maxConnections) {
            delete param;
            ::close(conn);
            return;
        }
        openSocks.insert(conn);
    }
    if (!workers.Run([param] { ProcessSocketThread(param); })) {
        {
            std::lock_guard lock(openMutex);
            openSocks.erase(conn);
        }
        delete param;
        ::close(conn);
    }
}

void TCPServiceSocket::ProcessSocketThread(ProcessParam* param)
{
    ProcessParam local = *param;
    delete param;
    Log::Printf("[ProcessSocketThread socket]=%d\n", local.sock);
    try {
        local.pOwner->ProcessConn(&local);
    } catch (...) {
        // an exception ends this connection only
    }
    {
        std::lock_guard lock(local.pOwner->openMutex);
        local.pOwner->openSocks.erase(local.sock);
    }
    ::close(local.sock);
}

void TCPServiceSocket::EndOpenConnections()
{
    std::lock_guard lock(openMutex);
    for (const int conn : openSocks)
        ::shutdown(conn, SHUT_RDWR);
}
