#pragma once

#include "BaseSocket.h"
#include "NetResult.h"

// Remembers the address that new request objects connect to (up to 63
// characters); null until set.
void SetConnectIP(const char* ip);
const char* GetConnectIP();

// Connects a TCP socket to ip:port within timeout seconds (0 waits without
// limit) and returns it in blocking mode, or -1 after one line on stderr;
// then *error, when given, holds the cause as an errno value (ECONNREFUSED,
// ETIMEDOUT for the time limit, ...).
int NonbSocket(const char* ip, int port, long timeout, int* error = nullptr);

// The client end of a connection to the service.
class TCPClientSocket : public BaseSocket {
public:
    TCPClientSocket() = default;
    ~TCPClientSocket() = default;

    NetResult ConnService();

    bool bConnecting = false;
    // Why the last ConnService failed, as an errno value; 0 after a good one.
    int connectErrno = 0;
};
