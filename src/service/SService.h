#pragma once

#include "TCPServiceSocket.h"

// The TCP service of the application: every accepted connection is run by a
// MyServiceOp on the connection's thread.
class SService : public TCPServiceSocket {
public:
    SService() = default;
    // Ends the connections while this object is still whole: they call
    // ProcessConn on it.
    ~SService();

    void ProcessConn(ProcessParam* param) override;
};
