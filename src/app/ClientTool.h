#pragma once

#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

// The corvane-client command: a peer of the service for scripts, tests and
// benchmarks. Replies and answers go to out, diagnostics to err. Run returns
// the process exit status.
class ClientTool {
public:
    ClientTool(std::istream& in, std::FILE* out, std::ostream& err);

    int Run(const std::vector<std::string>& args);
    static const char* Usage();

private:
    int Request(const std::vector<std::string>& args);
    int Upload(const std::vector<std::string>& args);
    int Live();
    int Discover(const std::vector<std::string>& args);
    int Failure(int result);

    std::istream& in;
    std::FILE* out;
    std::ostream& err;
    std::string host = "127.0.0.1";
    int port = 1811;
    long timeout = 10;
};
