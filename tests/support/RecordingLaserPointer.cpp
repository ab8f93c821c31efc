#include "RecordingLaserPointer.h"

#include <cstdio>

namespace {

// Shortest text of a real: "3", "-4.5", "0.25".
std::string Number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

void RecordingLaserPointer::record(std::string what)
{
    std::lock_guard lock(mutex);
    recorded.push_back({std::move(what), std::this_thread::get_id()});
}

void RecordingLaserPointer::show() { record("show"); }
void RecordingLaserPointer::hide() { record("hide"); }
void RecordingLaserPointer::alphaSwitch() { record("alphaSwitch"); }
void RecordingLaserPointer::move(float dx, float dy) { record("move " + Number(dx) + " " + Number(dy)); }

void RecordingLaserPointer::lightColor(int rgb, float alpha, bool show)
{
    char colour[16];
    std::snprintf(colour, sizeof colour, "0x%06x", static_cast<unsigned>(rgb));
    record("lightColor " + std::string(colour) + " " + Number(alpha) + " " + (show ? "1" : "0"));
}

void RecordingLaserPointer::lightSize(int width, int height, bool show)
{
    record("lightSize " + std::to_string(width) + " " + std::to_string(height) + " " + (show ? "1" : "0"));
}

std::vector<RecordedCall> RecordingLaserPointer::calls() const
{
    std::lock_guard lock(mutex);
    return recorded;
}

std::size_t RecordingLaserPointer::count() const
{
    std::lock_guard lock(mutex);
    return recorded.size();
}
