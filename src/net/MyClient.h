#pragma once

#include "SRequest.h"

// A live channel: connects with the head "keep_alive" and then sends
// 256-byte control messages until it is destroyed.
class MyClient : public SRequest {
public:
    MyClient() = default;
    ~MyClient() = default;

    NetResult ConnService();
    // Sends the first 256 bytes of msg (a GetMsgBuf message) as one record.
    NetResult SendMsg(char* msg);
};
