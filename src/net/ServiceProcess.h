#pragma once

#include "CData.h"
#include "NetResult.h"

// Runs the one request of a connection: receives the framed head and body,
// routes by the head and sends the framed reply. A "keep_alive" head turns
// the connection into a live channel of 256-byte messages instead.
class ServiceProcess {
public:
    explicit ServiceProcess(int sock);
    virtual ~ServiceProcess() = default;
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    virtual CData* ProcessBussiness(CData* head, CData* body);
    virtual void ProcessLiveMsg(const char* msg);
    virtual void ProcessUpload(CData* head, CData* body, CData* reply);
    virtual void ProcessOpBussiness(CData* head, CData* body, CData* reply);

    // Reads one size packet and its payload. Fails on a negative length, on
    // one above maxPayload (nothing is allocated for it) and on a short read.
    bool RecvSizeAndData(CData* data);
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
    long long maxPayload;

private:
    void RunLiveChannel();

    char readAhead[4096];
    size_t aheadStart = 0;
    size_t aheadEnd = 0;
};
