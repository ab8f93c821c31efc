#pragma once

#include "SRequest.h"

// A request whose reply is written to a file descriptor as it arrives, so a
// download of any size needs only one chunk of memory.
class SFileRequest : public SRequest {
public:
    explicit SFileRequest(int outFd);
    ~SFileRequest() = default;

    // Sends the request and streams the reply into the descriptor.
    NetResult SendRequestToFile(const char* head, const char* body);

    void HaveRecvData(int id, GetDataStatus status, const void* data, long long len) override;

private:
    int outFd;
};
