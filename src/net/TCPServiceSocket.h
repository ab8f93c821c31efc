#pragma once

#include "BaseSocket.h"
#include "NetResult.h"
#include "WorkerThreads.h"

#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <thread>

class TCPServiceSocket;

// One accepted connection, handed from the accept thread to its own thread.
struct ProcessParam {
    int sock;
    sockaddr_in clientAddr;
    TCPServiceSocket* pOwner;
};

// The TCP listener: binds all IPv4 interfaces, accepts on its own thread and
// gives every connection a thread of its own.
class TCPServiceSocket : public BaseSocket {
public:
    TCPServiceSocket();
    // Stops listening, ends the connections still open and waits for their
    // threads, so nothing outlives the object.
    ~TCPServiceSocket();

    NetResult Start();
    NetResult StartListen();
    void Stop();
    // Stops listening, ends the open connections and waits for their
    // threads. A derived class whose connections use its own members calls
    // this in its destructor, before those members go away.
    void Shutdown();

    virtual void ProcessConn(ProcessParam* param);

    // Whether a peer may use the service: with lanOnly set, only peers in the
    // local network ranges are served.
    virtual bool AcceptPeer(const sockaddr_in& peer);

    static void AcceptThread(TCPServiceSocket* service);
    static void ProcessSocketThread(ProcessParam* param);

    sockaddr_in serverAddr{};
    int backlog = 100;
    std::thread acceptThread;

    // Limits; set before Start.
    std::atomic<bool> lanOnly{true};
    int idleSeconds;     // silence allowed while a request is read or sent
    int maxConnections;  // connections served at once; more are closed at once

private:
    void AcceptLoop();
    void Dispatch(int connSock, const sockaddr_in& peer);
    void EndOpenConnections();

    std::atomic<bool> stopping{false};
    std::atomic<int> listenSock{-1};
    std::mutex openMutex;
    std::set<int> openSocks;
    WorkerThreads workers;
};
