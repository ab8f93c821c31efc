#pragma once

#include "BaseSocket.h"
#include "NetResult.h"

// Remembers the address that new request objects connect to (up to 63
// characters); null until set.
void SetConnectIP(const char* ip);
const char* GetConnectIP();

// Connects a TCP socket to ip:port within timeout seconds (0 waits without
// limit) and returns it in blocking mode, or -1 after one line on stderr.
int NonbSocket(const char* ip, int port, long timeout);

// The client end of a connection to the service.
class TCPClientSocket : public BaseSocket {
public:
    TCPClientSocket() = default;
    ~TCPClientSocket() = default;

    NetResult ConnService();

    bool bConnecting = false;
};
