#include "SRequest.h"

#include "CData.h"
#include "SConfig.h"

#include <cstring>

SRequest::SRequest()
{
    if (const char* address = GetConnectIP())
        SetInfo(address, SConfig::kServicePort, SConfig::kConnectTimeoutSeconds);
}

bool SRequest::SendSizeAndData(CData* data)
{
    return SendSizePacket(sock, data->size) && SendFromBuf(sock, data->pData, data->size, SConfig::kPayloadChunk, 0);
}

NetResult SRequest::SendHead(CData* data)
{
    return SendSizeAndData(data) ? NR_OK : NR_SendHeadError;
}

NetResult SRequest::SendBody(CData* data)
{
    return SendSizeAndData(data) ? NR_OK : NR_SendBodyError;
}

NetResult SRequest::RecvResponse()
{
    const long long length = GetSizePacket(sock);
    if (length == -1)
        return NR_FileUnavailable;
    if (length < 0)
        return NR_RecvResponseError;
    nResponseSize = length;
    bStoreFailed = false;
    const bool received = RecvData(1, sock, length, SConfig::kPayloadChunk, 0);
    return received && !bStoreFailed ? NR_OK : NR_RecvResponseError;
}

NetResult SRequest::ProcessConn(CData* head, CData* body)
{
    NetResult result = SendHead(head);
    if (result == NR_OK)
        result = SendBody(body);
    if (result == NR_OK)
        result = RecvResponse();
    return result;
}

NetResult SRequest::SendRequestByCData(CData* head, CData* body, CData* reply)
{
    pResponse = reply;
    try {
        const NetResult connected = ConnService();
        if (connected != NR_OK)
            return connected;
        return ProcessConn(head, body);
    } catch (...) {
        return NR_RecvResponseError;
    }
}

NetResult SRequest::SendRequest(const char* head, const char* body, CData* reply)
{
    CData headData;
    CData bodyData;
    headData.SetData(head);
    bodyData.SetData(body);
    return SendRequestByCData(&headData, &bodyData, reply);
}

void SRequest::HaveRecvData(int id, GetDataStatus status, const void* data, long long len)
{
    if (id != 1 || pResponse == nullptr)
        return;
    switch (status) {
    case GetData_Start:
        if (!pResponse->Allocate(len))
            bStoreFailed = true;
        nRecvLen = 0;
        break;
    case GetData_Receiving:
        if (bStoreFailed || nRecvLen + len > pResponse->size) {
            bStoreFailed = true;
            break;
        }
        std::memcpy(pResponse->pData + nRecvLen, data, static_cast<size_t>(len));
        nRecvLen += len;
        break;
    case GetData_Finish:
        break;
    }
}
