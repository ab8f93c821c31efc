#include "Log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <unistd.h>

static void WriteAll(const char* text, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void Log::Printf(const char* format, ...)
{
    char small[1024];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    // Anything printed through stdio before must come out first.
    std::fflush(stdout);
    if (static_cast<size_t>(length) < sizeof small) {
        va_end(again);
        WriteAll(small, static_cast<size_t>(length));
        return;
    }
    std::unique_ptr<char[]> large(new char[static_cast<size_t>(length) + 1]);
    std::vsnprintf(large.get(), static_cast<size_t>(length) + 1, format, again);
    va_end(again);
    WriteAll(large.get(), static_cast<size_t>(length));
}
