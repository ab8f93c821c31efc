#pragma once

// Decodes one live control message ("type^_7arg^_7x^_7y") and runs it.
class MsgEntity {
public:
    MsgEntity() = delete;

    static void ProcessMsg(const char* msg);
};
