#include "TrayHost.h"

#include <unistd.h>

namespace {
constexpr const char* kTrayer = "/usr/bin/trayer";
}

bool TrayHost::installed()
{
    return ::access(kTrayer, X_OK) == 0;
}

TrayHost::TrayHost()
    : tray({kTrayer, "--edge", "top", "--align", "left", "--widthtype", "request", "--height", "24", "--SetDockType",
            "true", "--SetPartialStrut", "false"},
           {.out = ChildProcess::Stream::Discard, .err = ChildProcess::Stream::Discard})
{
}
