#pragma once

#include <string>

// A load generator for the request protocol: `connections` concurrent
// one-request connections per thread, each sending one framed head and
// body and reading the reply until the service closes, over and over.
class RequestLoad {
public:
    RequestLoad(int port, std::string head, std::string body);

    // Runs for `seconds` on `threads` threads; returns completed requests/s.
    double Run(int threads, int connectionsPerThread, double seconds);
    long long failures() const { return failed; }

private:
    long long RunThread(int connections, double seconds, long long& failedHere);

    int port;
    std::string request;
    long long failed = 0;
};
