#include "TCPServiceSocket.h"

#include "Log.h"
#include "SCommon.h"
#include "SConfig.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {


// Errors after which accept can simply be tried again: the connection that
// failed is gone, or the process is short of descriptors or memory for a
// moment. Only a listening socket that no longer works ends accepting.
bool IsTransientAcceptError(int error)
{
    switch (error) {
    case ECONNABORTED: case EPROTO: case EPERM:
    case ENETDOWN: case ENOPROTOOPT: case EHOSTDOWN: case ENONET: case EHOSTUNREACH:
    case EOPNOTSUPP: case ENETUNREACH: case ETIMEDOUT:
    case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM:
        return true;
    default:
        return false;
    }
}

bool IsResourceShortage(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

} // namespace

TCPServiceSocket::TCPServiceSocket()
    : idleSeconds(SConfig::kRequestIdleSeconds), maxConnections(SConfig::kMaxConnections), maxPerAddress(SConfig::kMaxConnectionsPerAddress),
      bodyBudget(SConfig::kBodyBudget)
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
    std::unique_lock lock(threadMutex);
    threadsChanged.wait(lock, [this] { return threads == 0; });
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
    std::lock_guard lock(threadMutex);
    stopping = false;
    listenFd = sock;
    Log::Printf("accept thread start!!!\n");
    SpawnAcceptor();
    return NR_OK;
}

NetResult TCPServiceSocket::StartListen()
{
    startErrno = 0;
    sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 1) {
        startErrno = errno;
        Log::Printf("create socket error：%d\n", startErrno);
        sock = 0;
        return NR_SocketError;
    }
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Accepted connections inherit this: small replies go out at once.
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // The phone always speaks first: a connection is handed to accept once
    // its first bytes are in, so the thread that takes it reads at once
    // instead of going to sleep in recv and being woken again (a third of
    // the server's time per request went to those wake-ups). A peer that
    // stays silent is handed over after about a second all the same and
    // then meets the idle limit as before.
    const int deferSeconds = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    // Accepted connections inherit the idle limits too. On the listening
    // socket the receive limit makes accept give up after that long, so a
    // spare accepting thread can end once a burst is over.
    listenIdleSeconds = idleSeconds.load();
    const timeval idle{listenIdleSeconds, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &idle, sizeof idle);

    serverAddr = {};
    serverAddr.sin_family = AF_INET;
    serverAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    serverAddr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(sock, reinterpret_cast<sockaddr*>(&serverAddr), sizeof serverAddr) != 0) {
        startErrno = errno;
        Log::Printf("bind socket error：%d\n", startErrno);
        return NR_BindError;
    }
    if (::listen(sock, backlog) != 0) {
        startErrno = errno;
        Log::Printf("listen socket error：%d\n", startErrno);
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
    std::unique_lock lock(threadMutex);
    stopping = true;
    const int fd = listenFd;
    listenFd = -1;
    if (fd < 0)
        return;
    // Shutting the listening socket down wakes every accept call. No thread
    // enters accept once stopping is set, so the descriptor can be closed
    // as soon as the last one has left.
    ::shutdown(fd, SHUT_RDWR);
    threadsChanged.wait(lock, [this] { return accepting == 0; });
    ::close(fd);
    sock = 0;
}

void TCPServiceSocket::ProcessConn(ProcessParam*) {}

bool TCPServiceSocket::AcceptPeer(const sockaddr_in& peer)
{
    return servesPeer(peer, lanOnly);
}

ServiceProcess::Limits TCPServiceSocket::RequestLimits()
{
    ServiceProcess::Limits limits;
    limits.seconds = idleSeconds;
    // Serve gave the connection this receive limit (or it came with the
    // listening socket).
    limits.socketSeconds = limits.seconds;
    limits.bodyBudget = &bodyBudget;
    return limits;
}

void TCPServiceSocket::SpawnAcceptor()
{
    try {
        std::thread(&TCPServiceSocket::AcceptThread, this).detach();
        ++threads;
    } catch (const std::system_error&) {
        // No thread to spare now; the threads that exist go on accepting.
    }
}

void TCPServiceSocket::AcceptThread(TCPServiceSocket* service)
{
    service->AcceptLoop();
}

void TCPServiceSocket::AcceptLoop()
{
    std::unique_lock lock(threadMutex);
    while (!stopping) {
        const int fd = listenFd;
        ++accepting;
        lock.unlock();
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        const int conn = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen, SOCK_CLOEXEC);
        const int error = errno;
        lock.lock();
        --accepting;
        threadsChanged.notify_all();
        if (stopping) {
            if (conn >= 0)
                ::close(conn);
            break;
        }
        if (conn < 0) {
            if (error == EAGAIN || error == EWOULDBLOCK) {
                if (accepting > 0)
                    break; // a spare thread that waited for the idle time
                continue;
            }
            if (error == EINTR) {
                Log::Printf("accept error!!! but errno=EINTR , i'll continue\n");
                continue;
            }
            if (IsTransientAcceptError(error)) {
                if (IsResourceShortage(error)) {
                    lock.unlock();
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    lock.lock();
                }
                continue;
            }
            // The listening socket failed for good: nothing more is accepted
            // until the service is started again.
            Log::Printf("accept error：%d ，you should restart service\n", error);
            if (listenFd == fd) {
                listenFd = -1;
                stopping = true;
                ::shutdown(fd, SHUT_RDWR);
                threadsChanged.wait(lock, [this] { return accepting == 0; });
                ::close(fd);
            }
            break;
        }
        // Someone must go on accepting while this thread serves.
        if (accepting == 0)
            SpawnAcceptor();
        const bool full = !openSocks.Admit(conn, peer.sin_addr.s_addr, maxConnections, maxPerAddress);
        lock.unlock();
        if (full)
            ::close(conn);
        else
            Serve(conn, peer);
        lock.lock();
    }
    --threads;
    threadsChanged.notify_all(); // under the lock: the service may be destroyed right after
}

void TCPServiceSocket::Serve(int conn, const sockaddr_in& peer)
{
    auto* param = new ProcessParam{conn, peer, this};
    if (!AcceptPeer(peer) || !AwaitAdmission(conn, peer)) {
        {
            std::lock_guard lock(threadMutex);
            openSocks.erase(conn);
        }
        ::close(conn);
        delete param;
        return;
    }
    // The limits came with the listening socket unless they changed since.
    const int wanted = idleSeconds;
    if (wanted != listenIdleSeconds) {
        const timeval idle{wanted, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
        ::setsockopt(conn, SOL_SOCKET, SO_SNDTIMEO, &idle, sizeof idle);
    }
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
    // Both lines of a new connection in one write.
    Log::Printf("process conn<ip:%s socket:%d>\n[ProcessSocketThread socket]=%d\n", address, conn, conn);
    ProcessSocketThread(param);
}

bool TCPServiceSocket::AwaitAdmission(int conn, const sockaddr_in& peer)
{
    PeerGate* gate = peerGate.load();
    if (gate == nullptr)
        return true;
    // Between two questions to the gate, look whether the peer has hung up
    // or the service has shut the connection down: then the wait is over.
    constexpr std::chrono::milliseconds kAskAgain{250};
    for (;;) {
        const PeerVerdict verdict = gate->Admit(peer, kAskAgain);
        if (verdict != PeerVerdict::Hold)
            return verdict == PeerVerdict::Serve;
        pollfd state{conn, POLLRDHUP, 0};
        if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
            return false;
    }
}

void TCPServiceSocket::ProcessSocketThread(ProcessParam* param)
{
    ProcessParam local = *param;
    delete param;
    try {
        local.pOwner->ProcessConn(&local);
    } catch (...) {
        // an exception ends this connection only
    }
    {
        std::lock_guard lock(local.pOwner->threadMutex);
        local.pOwner->openSocks.erase(local.sock);
    }
    ::close(local.sock);
}

void TCPServiceSocket::EndOpenConnections()
{
    std::lock_guard lock(threadMutex);
    for (const int conn : openSocks.Sockets())
        ::shutdown(conn, SHUT_RDWR);
}
