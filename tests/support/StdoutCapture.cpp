#include "StdoutCapture.h"

#include "SCommon.h"
#include "TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

StdoutCapture::StdoutCapture(std::string path) : file(std::move(path))
{
    std::fflush(stdout);
    saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
}

StdoutCapture::~StdoutCapture()
{
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    // Failures reported while the capture lived went into the file.
    if (::testing::Test::HasFailure())
        std::fputs(TempDir::read(file).c_str(), stdout);
}

std::vector<std::string> StdoutCapture::lines() const
{
    std::fflush(stdout);
    return split(TempDir::read(file), "\n");
}
