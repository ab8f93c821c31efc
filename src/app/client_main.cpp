#include "ClientTool.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Standard output carries only replies and answers; the protocol
    // classes' own log lines go to standard error with the diagnostics.
    const int payload = ::dup(STDOUT_FILENO);
    std::FILE* out = payload >= 0 ? ::fdopen(payload, "w") : nullptr;
    if (out == nullptr) {
        std::perror("corvane-client");
        return 1;
    }
    std::fflush(stdout);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    ClientTool tool(std::cin, out, std::cerr);
    const int status = tool.Run(std::vector<std::string>(argv + 1, argv + argc));
    std::fclose(out);
    return status;
}
