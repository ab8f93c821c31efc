#pragma once

#include "LaunchOptions.h"

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
class FreePort {
public:
    FreePort() = delete;

    static int tcp();
    static int udp();
    // Program options with free TCP and UDP ports and discovery broadcasts
    // kept on loopback (127.255.255.255).
    static LaunchOptions launchOptions();
};
