#pragma once

#include <cstddef>
#include <string_view>

// Diagnostics on standard output. Each call formats its text in memory and
// hands it to the system in one write, so lines from different threads never
// mix and a message costs one system call however many lines it has.
class Log {
public:
    Log() = delete;

    static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // Text already formatted, as Printf would write it.
    static void Write(std::string_view text);

    // While a Batch lives, the messages of its thread are gathered and
    // written together when it ends or its room is full, so a burst of
    // messages costs one system call. Lines from other threads may come out
    // between two batches, never inside a line. An inner Batch on the same
    // thread leaves the outer one in charge.
    class Batch {
    public:
        Batch();
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

        void Add(std::string_view text);
        void Flush();

    private:
        static constexpr std::size_t kRoom = 16384;
        bool active;
        std::size_t used = 0;
        char text[kRoom];
    };
};
