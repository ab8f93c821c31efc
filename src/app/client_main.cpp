#include "ClientTool.h"
#include "Language.h"

#include <QCoreApplication>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Its messages and help follow the user's language; the numbers of live
    // messages keep the dot as decimal separator.
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const Language language;
    // Standard output carries only replies and answers, standard error only
    // the tool's own messages. The protocol classes log on the process's
    // descriptors 1 and 2, so those go to /dev/null, or with --verbose to
    // standard error.
    const int payload = ::dup(STDOUT_FILENO);
    const int messages = ::dup(STDERR_FILENO);
    std::FILE* out = payload >= 0 ? ::fdopen(payload, "w") : nullptr;
    std::FILE* err = messages >= 0 ? ::fdopen(messages, "w") : nullptr;
    if (out == nullptr || err == nullptr) {
        std::perror("corvane-client");
        return 1;
    }
    std::setvbuf(err, nullptr, _IOLBF, 0);

    ClientTool tool(std::cin, out, err);
    int status = 0;
    if (tool.Parse(std::vector<std::string>(argv + 1, argv + argc), status)) {
        std::fflush(stdout);
        std::fflush(stderr);
        const int log = tool.verbose() ? messages : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        status = tool.Run();
    }
    std::fclose(out);
    std::fclose(err);
    return status;
}
