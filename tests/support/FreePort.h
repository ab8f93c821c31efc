#pragma once

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
class FreePort {
public:
    FreePort() = delete;

    static int tcp();
    static int udp();
};
