#include "SFileRequest.h"

#include "CData.h"

#include <cerrno>
#include <unistd.h>

SFileRequest::SFileRequest(int fd) : outFd(fd) {}

NetResult SFileRequest::SendRequestToFile(const char* head, const char* body)
{
    CData headData;
    CData bodyData;
    headData.SetData(head);
    bodyData.SetData(body);
    pResponse = nullptr;
    const NetResult connected = ConnService();
    if (connected != NR_OK)
        return connected;
    return ProcessConn(&headData, &bodyData);
}

void SFileRequest::HaveRecvData(int id, GetDataStatus status, const void* data, long long len)
{
    if (id != 1)
        return;
    if (status == GetData_Start) {
        nRecvLen = 0;
        return;
    }
    if (status != GetData_Receiving || bStoreFailed)
        return;
    const char* bytes = static_cast<const char*>(data);
    long long left = len;
    while (left > 0) {
        const ssize_t written = ::write(outFd, bytes, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            bStoreFailed = true;
            return;
        }
        bytes += written;
        left -= written;
    }
    nRecvLen += len;
}
