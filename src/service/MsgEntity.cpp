#include "MsgEntity.h"

#include "AppEntity.h"
#include "KeybdEntity.h"
#include "MouseEntity.h"
#include "PPTEntity.h"
#include "SCommon.h"
#include "SConfig.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace {

// Scroll steps are the message's reals truncated toward zero. A real that is
// not a number or lies beyond any plausible gesture is brought into range
// first: converting it to int as it stands would be undefined.
int ScrollSteps(float value)
{
    constexpr float kLimit = 1000000.0f;
    if (std::isnan(value))
        return 0;
    if (value > kLimit)
        return static_cast<int>(kLimit);
    if (value < -kLimit)
        return -static_cast<int>(kLimit);
    return static_cast<int>(value);
}

// The first `count` fields of a message: its non-empty pieces between
// separators, as views into it. Returns how many there were, at most count.
std::size_t Fields(std::string_view message, std::string_view* fields, std::size_t count)
{
    const std::string_view sep = SConfig::kFieldSep;
    std::size_t found = 0;
    std::size_t position = 0;
    while (position < message.size() && found < count) {
        std::size_t end = message.find(sep, position);
        if (end == std::string_view::npos)
            end = message.size();
        if (end > position)
            fields[found++] = message.substr(position, end - position);
        position = end + sep.size();
    }
    return found;
}

} // namespace

void MsgEntity::ProcessMsg(const char* msg)
{
    if (msg == nullptr)
        return;
    std::string_view fields[4];
    if (Fields(msg, fields, 4) < 4)
        return; // every message carries four fields; a shorter one is garbage
    const int type = std::atoi(std::string(fields[0]).c_str());
    const int argument = std::atoi(std::string(fields[1]).c_str());
    const float x = realField(std::string(fields[2]));
    const float y = realField(std::string(fields[3]));

    switch (type) {
    case MsgType_LeftAction: MouseEntity::LeftSingleTap(argument); break;
    case MsgType_LeftDouble: MouseEntity::LeftDoubleTap(); break;
    case MsgType_LeftTriple: MouseEntity::LeftThreeTap(); break;
    case MsgType_RightAction: MouseEntity::RightSingleTap(argument); break;
    case MsgType_Move: MouseEntity::Move(x, y); break;
    case MsgType_Drag: MouseEntity::Drag(x, y); break;
    case MsgType_Scroll: MouseEntity::ScrollWheelMove(ScrollSteps(x), ScrollSteps(y)); break;
    case MsgType_Text: KeybdEntity::InputChar(std::string(fields[1]).c_str()); break;
    case MsgType_Return: KeybdEntity::ReturnChar(); break;
    case MsgType_Delete: KeybdEntity::DelChar(); break;
    case MsgType_Up:
    case MsgType_Down:
    case MsgType_Left:
    case MsgType_Right:
    case MsgType_Space:
        KeybdEntity::OtherCommand(static_cast<MsgType>(type));
        break;
    case MsgType_MusicPlayPause:
    case MsgType_MusicVolumeUp:
    case MsgType_MusicVolumeDown:
    case MsgType_MusicPrevious:
    case MsgType_MusicNext:
        AppEntity::OpenApp("/Applications/iTunes.app", nullptr);
        KeybdEntity::OtherCommand(static_cast<MsgType>(type));
        break;
    case MsgType_LightOn: PPTEntity::LightOn(); break;
    case MsgType_LightOff: PPTEntity::LightOff(); break;
    case MsgType_LightSwitch: PPTEntity::LightSwitch(); break;
    case MsgType_LightMove: PPTEntity::LightMove(x, y); break;
    default: break;
    }
}
