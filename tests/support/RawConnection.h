#pragma once

#include <string>

// A plain TCP connection for tests that need to send exactly the bytes they
// choose (partial packets, silence, huge lengths): to a loopback port, or to
// a host from a chosen source address.
class RawConnection {
public:
    explicit RawConnection(int port);
    RawConnection(const std::string& host, int port, const std::string& source = std::string());
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
