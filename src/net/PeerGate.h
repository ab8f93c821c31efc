#pragma once

#include <chrono>
#include <netinet/in.h>

// What becomes of a connection before anything is read from it.
enum class PeerVerdict {
    Serve,  // read the request and answer it
    Refuse, // close it without reading or answering
    Hold,   // not decided yet: keep it open and unread, and ask again
};

// Decides which peers the service serves. The decision belongs to the
// application; the service asks on the connection's own thread, before it
// reads a byte, and keeps a held connection as one of its open connections.
class PeerGate {
public:
    virtual ~PeerGate() = default;

    // The verdict for a connection from peer. While the answer is not known
    // (the user is being asked) the call may wait up to `wait` for it and
    // then returns Hold; the service asks again until it gets an answer, the
    // peer hangs up or the service ends the connection. Called on any
    // connection thread.
    virtual PeerVerdict Admit(const sockaddr_in& peer, std::chrono::milliseconds wait) = 0;
};
