#include "PPTEntity.h"

#include "KeyStroke.h"
#include "LaserPointer.h"
#include "MainQueue.h"

#include <functional>

namespace {
constexpr int kKeyEscape = 53;
constexpr int kKeyReturn = 52;

// Hands a change of the laser pointer to the main thread, where the pointer
// lives, and returns at once. Changes are carried out in the order they were
// queued; without a pointer (no display) they do nothing.
void OnPointer(std::function<void(LaserPointer&)> change)
{
    MainQueue::instance().async([change = std::move(change)] {
        if (LaserPointer* pointer = LaserPointer::instance())
            change(*pointer);
    });
}
} // namespace

void PPTEntity::PPTExec(int code)
{
    switch (code) {
    case 0: KeyStroke::Plain(kKeyEscape, KeyPurpose::Presentation); break;
    case 1: KeyStroke::WithFlags(kKeyReturn, KeyFlags::Command, KeyPurpose::Presentation); break;
    default: break;
    }
}

void PPTEntity::LightOn()
{
    OnPointer([](LaserPointer& pointer) { pointer.show(); });
}

void PPTEntity::LightOff()
{
    OnPointer([](LaserPointer& pointer) { pointer.hide(); });
}

void PPTEntity::LightSwitch()
{
    OnPointer([](LaserPointer& pointer) { pointer.alphaSwitch(); });
}

void PPTEntity::LightMove(float dx, float dy)
{
    OnPointer([dx, dy](LaserPointer& pointer) { pointer.move(dx, dy); });
}

void PPTEntity::LightColor(int rgb, float alpha, bool show)
{
    OnPointer([rgb, alpha, show](LaserPointer& pointer) { pointer.lightColor(rgb, alpha, show); });
}

void PPTEntity::LightSize(int width, int height, bool show)
{
    OnPointer([width, height, show](LaserPointer& pointer) { pointer.lightSize(width, height, show); });
}
