#pragma once

#include <string>

// Tells a second copy of the program from other start failures: every
// running copy holds an exclusive lock on a per-user file named after its
// TCP port, for as long as it runs, and writes its process id into it.
class InstanceLock {
public:
    explicit InstanceLock(int tcpPort);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock if nobody holds it; true when this process holds it.
    bool Acquire();
    // Whether another process holds the lock at the moment.
    bool HeldElsewhere();
    // The process id the holder wrote into the file; 0 when unknown.
    long HolderPid() const;
    const std::string& path() const { return file; }

private:
    std::string file;
    int fd = -1;
};
