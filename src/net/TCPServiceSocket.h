#pragma once

#include "BaseSocket.h"
#include "ConnectionTable.h"
#include "NetResult.h"
#include "PeerGate.h"
#include "PayloadBudget.h"
#include "ServiceProcess.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <netinet/in.h>

class TCPServiceSocket;

// One accepted connection, with the service that accepted it.
struct ProcessParam {
    int sock;
    sockaddr_in clientAddr;
    TCPServiceSocket* pOwner;
};

// The TCP listener: binds all IPv4 interfaces and gives every connection a
// thread of its own for its whole life.
//
// The threads take turns at accepting: a thread that accepts a connection
// serves it itself and, when no other thread is left waiting in accept,
// starts one to take its place. After its connection a thread goes back to
// accepting (a few spare ones wait there; more end). So a connection never
// waits for a hand-over between threads, and a burst of short requests does
// not pay a thread creation each.
class TCPServiceSocket : public BaseSocket {
public:
    TCPServiceSocket();
    // Stops listening, ends the connections still open and waits for their
    // threads, so nothing outlives the object.
    ~TCPServiceSocket();

    NetResult Start();
    NetResult StartListen();
    // Stops accepting; connections already accepted run to their end.
    void Stop();
    // Stops listening, ends the open connections and waits for every thread.
    // A derived class whose connections use its own members calls this in
    // its destructor, before those members go away.
    void Shutdown();

    virtual void ProcessConn(ProcessParam* param);

    // Whether a peer may use the service: with lanOnly set, only peers in the
    // local network ranges are served.
    virtual bool AcceptPeer(const sockaddr_in& peer);

    // The limits a connection's request is read under, as set now.
    ServiceProcess::Limits RequestLimits();

    // Entry of every accepting thread.
    static void AcceptThread(TCPServiceSocket* service);
    // Runs one accepted connection to its end and closes it.
    static void ProcessSocketThread(ProcessParam* param);

    sockaddr_in serverAddr{};
    int backlog = 100;
    // The errno of the step that made the last Start fail (0 after a good
    // one), so the application can say why: EADDRINUSE for a port in use.
    int startErrno = 0;

    std::atomic<bool> lanOnly{true};
    // Asked about every peer that lanOnly lets in, before its connection is
    // read; null serves them all. Must outlive the service's connections.
    std::atomic<PeerGate*> peerGate{nullptr};
    // Time for a request's head and body (see ServiceProcess::Limits), and
    // the silence allowed while a reply is sent.
    std::atomic<int> idleSeconds;
    std::atomic<int> maxConnections; // connections served at once; more are closed at once
    // Connections of one peer address at once, whatever their state; more
    // are closed at once, so one device cannot fill the service.
    std::atomic<int> maxPerAddress;
    PayloadBudget bodyBudget;        // large request bodies in flight together

private:
    void AcceptLoop();
    // Starts another accepting thread; the caller holds threadMutex.
    void SpawnAcceptor();
    // Checks, configures and serves one accepted connection.
    void Serve(int conn, const sockaddr_in& peer);
    // Whether the gate lets the peer be served; holds the connection, unread,
    // while the gate has not decided.
    bool AwaitAdmission(int conn, const sockaddr_in& peer);
    void EndOpenConnections();

    std::mutex threadMutex;
    std::condition_variable threadsChanged;
    bool stopping = true;
    int listenFd = -1;   // the listening socket while accepting
    int accepting = 0;   // threads inside accept on listenFd
    int threads = 0;     // every thread of this service
    std::atomic<int> listenIdleSeconds{0}; // the idle limits set on the listening socket
    ConnectionTable openSocks; // connections being served
};
