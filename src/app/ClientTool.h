#pragma once

#include <QCoreApplication>
#include <cstdio>
#include <istream>
#include <string>
#include <vector>

class TCPClientSocket;

// The corvane-client command: a peer of the service for scripts, tests and
// benchmarks. Replies and answers go to out, messages for the user to err,
// in the user's language.
// Parse reads the options, Run carries out the command; both give the
// process exit status (see Usage).
class ClientTool {
    Q_DECLARE_TR_FUNCTIONS(ClientTool)

public:
    ClientTool(std::istream& in, std::FILE* out, std::FILE* err);

    // Reads the options and the command. False when the program ends here:
    // after --help (status 0) or a usage error (status 2).
    bool Parse(const std::vector<std::string>& args, int& status);
    // Whether --verbose asked for the protocol classes' own log lines.
    bool verbose() const { return verboseLog; }
    int Run();

    static std::string Usage();

private:
    int Request();
    int Upload();
    int Live();
    int Discover();
    // Says in words what went wrong and returns the result code as the
    // exit status; socket tells why a connection failed.
    int Failure(int result, const TCPClientSocket* socket = nullptr);

    std::istream& in;
    std::FILE* out;
    std::FILE* err;
    std::string host = "127.0.0.1";
    int port = 1811;
    long timeout = 10;
    bool verboseLog = false;
    std::string command;
    std::vector<std::string> operands;
};
