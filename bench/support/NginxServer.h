#pragma once

#include "TempDir.h"

#include <string>
#include <sys/types.h>

// A private nginx on a free loopback port serving one folder, for anchors.
class NginxServer {
public:
    NginxServer(const std::string& root, int workers);
    ~NginxServer();

    bool started() const { return pid > 0; }
    int port() const { return listenPort; }
    pid_t processId() const { return pid; }

private:
    TempDir dir;
    int listenPort;
    pid_t pid = -1;
};
