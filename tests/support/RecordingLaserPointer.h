#pragma once

#include "LaserPointer.h"
#include "RecordedCall.h"

#include <mutex>
#include <vector>

// A laser pointer in memory for tests: it records each call with its
// arguments and thread, as "show", "hide", "alphaSwitch", "move 3 -4.5",
// "lightColor 0x00ff00 0.5 0" or "lightSize 60 20 1".
class RecordingLaserPointer : public LaserPointer {
public:
    void show() override;
    void hide() override;
    void alphaSwitch() override;
    void move(float dx, float dy) override;
    void lightColor(int rgb, float alpha, bool show) override;
    void lightSize(int width, int height, bool show) override;

    std::vector<RecordedCall> calls() const;
    std::size_t count() const;

private:
    void record(std::string what);

    mutable std::mutex mutex;
    std::vector<RecordedCall> recorded;
};
