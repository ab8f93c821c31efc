#pragma once

#include "TCPClientSocket.h"

class CData;

// One request: connects, sends head and body, and collects the framed reply.
class SRequest : public TCPClientSocket {
public:
    SRequest();
    ~SRequest() = default;

    bool SendSizeAndData(CData* data);
    NetResult SendHead(CData* data);
    NetResult SendBody(CData* data);
    NetResult RecvResponse();
    NetResult ProcessConn(CData* head, CData* body);
    NetResult SendRequestByCData(CData* head, CData* body, CData* reply);
    NetResult SendRequest(const char* head, const char* body, CData* reply);

    void HaveRecvData(int id, GetDataStatus status, const void* data, long long len) override;

    CData* pResponse = nullptr;
    long long nRecvLen = 0;
    long long nResponseSize = 0;

protected:
    // Set when the announced reply could not be stored; the receive fails.
    bool bStoreFailed = false;
};
