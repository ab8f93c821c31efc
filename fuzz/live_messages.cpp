// Live control messages: each input is one 256-byte record of a live
// channel, handed to the dispatcher with the recording event poster in
// place of the desktop. Checks that the pointer stays on the screen and
// that every real that reaches the laser pointer is a number.
#include "EventPoster.h"
#include "FuzzCheck.h"
#include "LaserPointer.h"
#include "MainQueue.h"
#include "MsgEntity.h"
#include "RecordingEventPoster.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The main thread's work runs at once, on the fuzzer's thread.
class InlineQueue : public MainQueue {
public:
    void async(std::function<void()> task) override { task(); }
    void sync(std::function<void()> task) override { task(); }
};

class CheckingPointer : public LaserPointer {
public:
    void show() override {}
    void hide() override {}
    void alphaSwitch() override {}
    void move(float dx, float dy) override { FUZZ_CHECK(!std::isnan(dx) && !std::isnan(dy)); }
    void lightColor(int, float alpha, bool) override { FUZZ_CHECK(!std::isnan(alpha)); }
    void lightSize(int, int, bool) override {}
};

RecordingEventPoster poster(false);
InlineQueue queue;
CheckingPointer pointer;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Music keys look for a player among the desktop entries: there are
    // none in an empty data tree, so nothing is ever started.
    static char root[] = "/tmp/corvane-fuzz-live-XXXXXX";
    if (::mkdtemp(root) == nullptr)
        std::abort();
    std::atexit([] { ::rmdir(root); });
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS"})
        ::setenv(name, root, 1);
    EventPoster::setInstance(&poster);
    MainQueue::setInstance(&queue);
    LaserPointer::setInstance(&pointer);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    char record[257] = {};
    std::memcpy(record, data, std::min<std::size_t>(size, 256));
    MsgEntity::ProcessMsg(record);
    const ScreenPoint at = poster.pointerLocation();
    const ScreenSize screen = poster.mainScreenSize();
    FUZZ_CHECK(at.x >= 0 && at.y >= 0 && at.x <= screen.width && at.y <= screen.height);
    return 0;
}
