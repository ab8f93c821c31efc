#include "PPTEntity.h"

#include "KeyStroke.h"

namespace {
constexpr int kKeyEscape = 53;
constexpr int kKeyReturn = 52;
}

void PPTEntity::PPTExec(int code)
{
    switch (code) {
    case 0: KeyStroke::Plain(kKeyEscape, KeyPurpose::Presentation); break;
    case 1: KeyStroke::WithFlags(kKeyReturn, KeyFlags::Command, KeyPurpose::Presentation); break;
    default: break;
    }
}
void PPTEntity::LightOn() {}
void PPTEntity::LightOff() {}
void PPTEntity::LightSwitch() {}
void PPTEntity::LightMove(float, float) {}
void PPTEntity::LightColor(int, float, bool) {}
void PPTEntity::LightSize(int, int, bool) {}
