#include "InstanceLock.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::InstanceLock(int tcpPort)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (runtime != nullptr && *runtime == '/') {
        folder = runtime;
    } else {
        folder = "/tmp/corvane-" + std::to_string(::getuid());
        ::mkdir(folder.c_str(), 0700);
    }
    file = folder + "/corvane-" + std::to_string(tcpPort) + ".lock";
}

InstanceLock::~InstanceLock()
{
    if (fd >= 0)
        ::close(fd); // releases the lock
}

bool InstanceLock::Acquire()
{
    if (fd >= 0)
        return true;
    const int candidate = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (candidate < 0)
        return false;
    if (::flock(candidate, LOCK_EX | LOCK_NB) != 0) {
        ::close(candidate);
        return false;
    }
    fd = candidate;
    // The process id, for the message of a second copy; the lock holds
    // whether or not it can be written.
    if (::ftruncate(fd, 0) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    return true;
}

bool InstanceLock::HeldElsewhere()
{
    if (fd >= 0)
        return false;
    const int probe = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (probe < 0)
        return false;
    const bool held = ::flock(probe, LOCK_EX | LOCK_NB) != 0;
    ::close(probe);
    return held;
}

long InstanceLock::HolderPid() const
{
    const int input = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0)
        return 0;
    char text[32] = {};
    const ssize_t got = ::read(input, text, sizeof text - 1);
    ::close(input);
    return got > 0 ? std::strtol(text, nullptr, 10) : 0;
}
