#include "Log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {
// The batch that gathers this thread's messages, if any.
thread_local Log::Batch* gathering = nullptr;
}

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
    if (static_cast<size_t>(length) < sizeof small) {
        va_end(again);
        Write(std::string_view(small, static_cast<size_t>(length)));
        return;
    }
    std::unique_ptr<char[]> large(new char[static_cast<size_t>(length) + 1]);
    std::vsnprintf(large.get(), static_cast<size_t>(length) + 1, format, again);
    va_end(again);
    Write(std::string_view(large.get(), static_cast<size_t>(length)));
}

void Log::Write(std::string_view text)
{
    if (gathering != nullptr) {
        gathering->Add(text);
        return;
    }
    // Anything printed through stdio before must come out first.
    std::fflush(stdout);
    WriteAll(text.data(), text.size());
}

Log::Batch::Batch() : active(gathering == nullptr)
{
    if (active)
        gathering = this;
}

Log::Batch::~Batch()
{
    if (!active)
        return;
    Flush();
    gathering = nullptr;
}

void Log::Batch::Add(std::string_view message)
{
    if (used + message.size() > kRoom)
        Flush();
    if (message.size() > kRoom) {
        std::fflush(stdout);
        WriteAll(message.data(), message.size());
        return;
    }
    std::memcpy(text + used, message.data(), message.size());
    used += message.size();
}

void Log::Batch::Flush()
{
    if (used == 0)
        return;
    std::fflush(stdout);
    WriteAll(text, used);
    used = 0;
}
