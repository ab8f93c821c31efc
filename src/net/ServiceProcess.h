#pragma once

#include "CData.h"
#include "NetResult.h"
#include "SConfig.h"

#include <chrono>
#include <string_view>

class PayloadBudget;

// Runs the one request of a connection: receives the framed head and body,
// routes by the head and sends the framed reply. A "keep_alive" head turns
// the connection into a live channel of 256-byte messages instead.
class ServiceProcess {
public:
    // What reading one request may cost.
    struct Limits {
        long long maxHead = SConfig::kMaxHead;
        long long maxBody = SConfig::kMaxPayload;
        // Head and body must have arrived within this time of the start,
        // plus one second for every minBodyRate bytes of the body, and the
        // peer may never be silent for longer: a peer that sends a byte now
        // and then cannot hold the connection.
        int seconds = SConfig::kRequestIdleSeconds;
        long long minBodyRate = SConfig::kMinBodyRate;
        // The receive limit set on the socket itself (SO_RCVTIMEO), in
        // seconds; 0 when it has none. When it is no longer than `seconds`,
        // the request's first read waits in the receive call itself rather
        // than in a poll before it, which saves two system calls a request.
        int socketSeconds = 0;
        // Bodies above SConfig::kLargeBody take their length from it, when set.
        PayloadBudget* bodyBudget = nullptr;
    };

    explicit ServiceProcess(int sock);
    virtual ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    virtual CData* ProcessBussiness(CData* head, CData* body);
    virtual void ProcessLiveMsg(const char* msg);
    virtual void ProcessUpload(CData* head, CData* body, CData* reply);
    virtual void ProcessOpBussiness(CData* head, CData* body, CData* reply);
    // Whether the log may show the text of a body sent with this head;
    // otherwise only its length is logged. Bodies can carry typed text,
    // clipboard contents and credentials, so the answer here is no.
    virtual bool BodyShownInLog(const CData& head) const;

    // The one rule for telling heads apart: every byte of the head, and
    // nothing more, spells the name.
    static bool HeadIs(const CData& head, std::string_view name);

    // Reads one size packet and its payload. Fails on a negative length, on
    // one above maxLength, on a large body the budget cannot cover, on a
    // short read and when the request's time is up. The payload's memory
    // grows as its bytes arrive, so an announced length costs nothing until
    // the bytes come.
    bool RecvSizeAndData(CData* data, long long maxLength);
    NetResult RecvHead(CData* data);
    NetResult RecvBody(CData* data);
    NetResult SendResponse(CData* reply);
    NetResult ProcessConn();

    // The connection is read ahead in small gulps: a head and body that
    // arrived together cost one system call. Whatever follows them on the
    // connection (upload bytes, live messages) must therefore be read
    // through these.
    // Reads exactly len bytes and writes a 0 byte behind what arrived, so
    // buf must hold len + 1 bytes.
    bool ReadExact(char* buf, long long len);
    // One size packet: the announced length, or -2 when it cannot be read.
    long long ReadSizePacket();
    // Moves up to max bytes that were read ahead into buf; returns how many.
    size_t TakeReadAhead(char* buf, size_t max);

    CData head;
    CData body;
    int sock;
    Limits limits;

private:
    using Clock = std::chrono::steady_clock;

    void RunLiveChannel();
    // Waits until the connection has bytes to read; false when the request's
    // time is up or the peer was silent for too long.
    bool WaitReadable();
    // Frees the body and what it took from the budget.
    void ReleaseBody();

    Clock::time_point deadline = Clock::time_point::max(); // for head and body
    bool readBefore = false; // whether the connection was read from before
    PayloadBudget* budgetUsed = nullptr;
    long long budgetTaken = 0;

    char readAhead[4096];
    size_t aheadStart = 0;
    size_t aheadEnd = 0;
};
