#pragma once

class CData;

// Stage of a streamed receive, reported to HaveRecvData.
enum GetDataStatus : int {
    GetData_Start = 0,
    GetData_Receiving = 1,
    GetData_Finish = 2,
};

// Root of every socket class. Holds the peer address, port, connect timeout
// and descriptor, and provides the framing primitives shared by the service,
// the client and discovery. The class operations keep no state and may be
// called concurrently on different sockets.
class BaseSocket {
public:
    BaseSocket() = default;
    BaseSocket(const BaseSocket&) = delete;
    BaseSocket& operator=(const BaseSocket&) = delete;
    // Not virtual: every socket object is destroyed through its own type.
    ~BaseSocket();

    void SetInfo(const char* ip, int port, long timeout);
    void Close();

    virtual void HaveRecvData(int id, GetDataStatus status, const void* data, long long len);

    // Streams a payload of len bytes through HaveRecvData in chunks.
    bool RecvData(int id, int sock, long long len, long chunk, int flags);

    // Reads one 64-byte size packet: the announced length, or -2 when the
    // packet cannot be read.
    static long long GetSizePacket(int sock);
    static bool SendSizePacket(int sock, long long size);
    // Receives exactly len bytes and writes a 0 byte behind what arrived,
    // so buf must hold len + 1 bytes.
    static bool RecvToBuf(int sock, char* buf, long long len, long chunk, int flags);
    static bool SendFromBuf(int sock, const char* buf, long long len, long chunk, int flags);
    // Sends the payload (memory or file) without a size packet.
    static bool SendFromCData(int sock, CData* data, long chunk, int flags);

    char ip[64] = "127.0.0.1";
    int port = 1811;
    long timeout = 10;
    int sock = 0;
};
