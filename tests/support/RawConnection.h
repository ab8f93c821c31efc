#pragma once

#include <string>

// A plain TCP connection to a loopback port for tests that need to send
// exactly the bytes they choose (partial packets, silence, huge lengths).
class RawConnection {
public:
    // From 127.0.0.1, or from another loopback address (127.0.0.2, ...).
    explicit RawConnection(int port, const char* from = nullptr);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return fd >= 0; }
    int socket() const { return fd; }
    void send(const std::string& bytes);
    // A 64-byte size packet followed by the payload.
    void sendFramed(const std::string& payload);
    // Everything until the peer closes, or until timeoutMs of silence.
    std::string readAll(int timeoutMs = 5000);
    // Waits up to timeoutMs for the peer to close; true when it did.
    bool waitForClose(int timeoutMs);
    void close();

    // "size packet + payload" as bytes.
    static std::string framed(const std::string& payload);

private:
    int fd = -1;
};
