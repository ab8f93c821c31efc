#pragma once

#include <string>
#include <thread>

// One call made on a recording test double: what was asked, as text, and
// the thread it was asked on.
struct RecordedCall {
    std::string text;
    std::thread::id thread;
};
