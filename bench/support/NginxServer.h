#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <string>
#include <sys/types.h>

// A private nginx on a free loopback port serving one folder, for anchors.
class NginxServer {
public:
    NginxServer(const std::string& root, int workers);

    bool started() const { return ready; }
    int port() const { return listenPort; }
    pid_t processId() const { return nginx.pid(); }

private:
    TempDir dir;
    int listenPort;
    ChildProcess nginx;
    bool ready = false;
};
