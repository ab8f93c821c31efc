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

    CData head;
    CData body;
    int sock;
    long long maxPayload;

private:
    void RunLiveChannel();
};
