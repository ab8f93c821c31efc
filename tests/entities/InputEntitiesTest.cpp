// The mouse, keyboard, window and live-message entities against a recording
// event poster: the exact event sequences they post.
#include "EventPoster.h"
#include "KeybdEntity.h"
#include "MouseEntity.h"
#include "MsgEntity.h"
#include "PPTEntity.h"
#include "RecordingEventPoster.h"
#include "SCommon.h"
#include "WindowEntity.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <sstream>

namespace {

using Seq = std::vector<std::string>;

Seq operator+(Seq a, const Seq& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One line per event, e.g. "LeftDown L 40,30", "LeftUp L 7,9 click2",
// "scroll v-15 h0", "key 52 down 0x100000 window", "text hello".
std::string Describe(const PostedEvent& e)
{
    static const char* const mouse[] = {"?", "LeftDown", "LeftUp", "RightDown", "RightUp", "Moved", "LeftDragged"};
    static const char* const purpose[] = {"", " window", " slides", " music"};
    std::ostringstream out;
    switch (e.kind) {
    case PostedEvent::Kind::Mouse:
        out << mouse[static_cast<int>(e.mouseType)] << (e.button == MouseButton::Left ? " L " : " R ") << e.at.x
            << "," << e.at.y;
        if (e.clickState != kClickStateUnset)
            out << " click" << e.clickState;
        break;
    case PostedEvent::Kind::Scroll: out << "scroll v" << e.verticalPixels << " h" << e.horizontalPixels; break;
    case PostedEvent::Kind::Key:
        out << "key " << e.keyCode << (e.down ? " down 0x" : " up 0x") << std::hex << e.flags
            << purpose[static_cast<int>(e.purpose)];
        break;
    case PostedEvent::Kind::Text:
        out << "text" << (e.down && e.keyCode == 0 ? "" : " (not a plain key-down)");
        break;
    case PostedEvent::Kind::UserActivity: out << "user activity"; break;
    }
    return out.str();
}

// A key pressed with flags and released without them.
Seq Tap(int code, std::uint64_t flags = 0, const std::string& purpose = "")
{
    std::ostringstream down;
    down << "key " << code << " down 0x" << std::hex << flags << purpose;
    return {down.str(), "key " + std::to_string(code) + " up 0x0" + purpose};
}

constexpr std::uint64_t kCmd = KeyFlags::Command;

class InputEntities : public ::testing::Test {
protected:
    void SetUp() override
    {
        MouseEntity::bLeftBtnDown = false;
        EventPoster::setInstance(&poster);
    }
    void TearDown() override
    {
        EventPoster::setInstance(nullptr);
        MouseEntity::bLeftBtnDown = false;
    }

    Seq Posted() const
    {
        Seq lines;
        for (const PostedEvent& event : poster.events())
            lines.push_back(Describe(event));
        return lines;
    }

    // The text events, each checked to be a key-down carrying only text.
    std::vector<std::u16string> Texts() const
    {
        std::vector<std::u16string> texts;
        for (const PostedEvent& event : poster.events()) {
            EXPECT_EQ(Describe(event), "text");
            texts.push_back(event.text);
        }
        return texts;
    }

    RecordingEventPoster poster;
};

TEST_F(InputEntities, ClicksPostTheirSequencesAtThePointer)
{
    const struct {
        std::function<void()> act;
        Seq want;
        bool leftHeldAfter;
    } cases[] = {
        {[] { MouseEntity::LeftSingleTap(0); }, {"LeftDown L 40,30"}, true},
        {[] { MouseEntity::LeftSingleTap(0), MouseEntity::LeftSingleTap(1); }, {"LeftDown L 40,30", "LeftUp L 40,30"}, false},
        {[] { MouseEntity::LeftSingleTap(0), MouseEntity::LeftSingleTap(2); },
         {"LeftDown L 40,30", "LeftDown L 40,30", "LeftUp L 40,30"}, false},
        {MouseEntity::LeftDoubleTap,
         {"LeftDown L 40,30", "LeftUp L 40,30", "LeftDown L 40,30 click2", "LeftUp L 40,30 click2"}, false},
        {MouseEntity::LeftThreeTap,
         {"LeftDown L 40,30", "LeftUp L 40,30", "LeftDown L 40,30 click3", "LeftUp L 40,30 click3",
          "LeftDown L 40,30 click3", "LeftUp L 40,30 click3"}, false},
        // The right button never touches the left-button flag.
        {[] { MouseEntity::RightSingleTap(0), MouseEntity::RightSingleTap(1), MouseEntity::RightSingleTap(2); },
         {"RightDown R 40,30", "RightUp R 40,30", "RightDown R 40,30", "RightUp R 40,30"}, false},
        // Unknown actions post nothing and keep the flag.
        {[] {
             MouseEntity::LeftSingleTap(0), MouseEntity::LeftSingleTap(5), MouseEntity::LeftSingleTap(-1);
             MouseEntity::RightSingleTap(3);
         },
         {"LeftDown L 40,30"}, true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        poster.clear();
        MouseEntity::bLeftBtnDown = false;
        poster.setPointerLocation({40, 30});
        cases[i].act();
        EXPECT_EQ(Posted(), cases[i].want);
        EXPECT_EQ(MouseEntity::bLeftBtnDown, cases[i].leftHeldAfter);
    }
}

TEST_F(InputEntities, MovesAddTheDeltaWithinTheScreenAndDragOnlyWithTheLeftButtonHeld)
{
    poster.setScreenSize({800, 600});
    poster.setPointerLocation({100, 100});
    testing::internal::CaptureStdout();
    MsgEntity::ProcessMsg("5^_7 ^_712.50^_7-3.00"); // a live move
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "112.500000 97.000000\n");
    MsgEntity::ProcessMsg("0^_72^_70.00^_70.00"); // and a live click
    MouseEntity::LeftSingleTap(0);
    MouseEntity::Move(1, 1);
    MouseEntity::LeftSingleTap(1);
    MouseEntity::RightSingleTap(0);
    MouseEntity::Move(1, 1); // a held right button makes no drag
    MouseEntity::RightSingleTap(1);
    EXPECT_EQ(Posted(), (Seq{"Moved L 112.5,97", "LeftDown L 112.5,97", "LeftUp L 112.5,97", "LeftDown L 112.5,97",
                             "LeftDragged L 113.5,98", "LeftUp L 113.5,98", "RightDown R 113.5,98", "Moved L 114.5,99",
                             "RightUp R 114.5,99"}));

    poster.clear();
    poster.setPointerLocation({10, 10});
    MouseEntity::Move(-25, -0.5f);
    MouseEntity::Move(900, 700);
    MouseEntity::Move(-1, 0);
    MouseEntity::Move(std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity());
    EXPECT_EQ(Posted(), (Seq{"Moved L 0,9.5", "Moved L 799,599", "Moved L 798,599", "Moved L 0,599"}));

    // Drag presses once, then keeps dragging until the button is released.
    poster.clear();
    poster.setPointerLocation({50, 60});
    MouseEntity::Drag(5, 0);
    MouseEntity::Drag(5, 0);
    EXPECT_TRUE(MouseEntity::bLeftBtnDown);
    MouseEntity::LeftSingleTap(1);
    EXPECT_FALSE(MouseEntity::bLeftBtnDown);
    EXPECT_EQ(Posted(), (Seq{"LeftDown L 50,60", "LeftDragged L 55,60", "LeftDragged L 60,60", "LeftUp L 60,60"}));
}

TEST_F(InputEntities, ScrollPostsFivePixelsPerStepHeldAtTheIntRange)
{
    MouseEntity::ScrollWheelMove(0, -3);
    MouseEntity::ScrollWheelMove(2, 1);
    MouseEntity::ScrollWheelMove(std::numeric_limits<int>::max(), std::numeric_limits<int>::min());
    MsgEntity::ProcessMsg("7^_7 ^_7-2.70^_71.90"); // truncated toward zero
    // Reals beyond any gesture are held at a million steps, and not a number is none.
    MsgEntity::ProcessMsg("7^_7 ^_71e30^_7nan");
    MsgEntity::ProcessMsg("7^_7 ^_7-inf^_71e300");
    EXPECT_EQ(Posted(), (Seq{"scroll v-15 h0", "scroll v5 h10", "scroll v-2147483648 h2147483647", "scroll v5 h-10",
                             "scroll v0 h5000000", "scroll v5000000 h-5000000"}));
}

// A few rows of each kind of translation (the X11 test checks the keys
// end to end): the key codes, a modifier selector and mask, a music key,
// window and slide commands, the edge cases.
TEST_F(InputEntities, KeysAndShortcutsPostTheirSequences)
{
    const struct {
        std::function<void()> act;
        Seq want;
    } cases[] = {
        // Key codes keep their low 16 bits.
        {[] { KeybdEntity::InputChar(13), KeybdEntity::InputChar(0x10000 + 13); }, Tap(13) + Tap(13)},
        // The modifier selector sets one flag, on the key-down only.
        {[] { for (int selector : {1, 4, 5, -1}) KeybdEntity::InputChar(8, selector); },
         Tap(8, kCmd) + Tap(8, KeyFlags::Fn) + Tap(8) + Tap(8)},
        {[] { for (int mask : {9, 0, 31}) KeybdEntity::HotKey(1, mask); },
         Tap(1, kCmd | KeyFlags::Shift) + Tap(1) +
             Tap(1, kCmd | KeyFlags::Control | KeyFlags::Option | KeyFlags::Shift | KeyFlags::Fn)},
        {[] {
             for (MsgType t : {MsgType_Up, MsgType_Space, MsgType_MusicPlayPause, MsgType_MusicNext})
                 KeybdEntity::OtherCommand(t);
         },
         Tap(126) + Tap(49) + Tap(49, 0, " music") + Tap(124, kCmd, " music")},
        {[] { for (int code : {2, 4, 10002}) WindowEntity::Exec(code); },
         Tap(3, kCmd | KeyFlags::Control, " window") + Tap(103, 0, " window") + Tap(48, kCmd, " window")},
        // The application switcher holds Command across its Tabs.
        {[] { for (int code : {10000, 10002, 10002, 10001}) WindowEntity::Exec(code); },
         Seq{"key 55 down 0x0 window"} + Tap(48, kCmd, " window") + Tap(48, kCmd, " window") +
             Seq{"key 55 up 0x0 window"}},
        {[] { for (int code : {1, 0, 2, -1}) PPTEntity::PPTExec(code); }, Tap(52, kCmd, " slides") + Tap(53, 0, " slides")},
        {[] { KeybdEntity::ReturnChar(), MsgEntity::ProcessMsg("10^_7 ^_70^_70"), MsgEntity::ProcessMsg("15^_7 ^_70^_70"); },
         Tap(52) + Tap(51) + Tap(49)}, // Return; the live Delete and Space
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        poster.clear();
        cases[i].act();
        EXPECT_EQ(Posted(), cases[i].want);
    }
}

TEST_F(InputEntities, UnknownCommandsAndModifiedKeysWithoutEventSourcePostNothing)
{
    for (MsgType type : {MsgType_LightOn, MsgType_Delete, MsgType(-1)})
        KeybdEntity::OtherCommand(type);
    for (int code : {0, 5, 8999, 9006, 10003, -1})
        WindowEntity::Exec(code);
    for (const char* message : {"25^_7 ^_71.00^_71.00", "-1^_7 ^_71.00^_71.00", "4^_7 ^_71.00^_71.00",
                                "5^_7 ^_712.5", "5^_7^_7^_712.5^_71", "", "5"})
        MsgEntity::ProcessMsg(message);
    MsgEntity::ProcessMsg(nullptr);
    EXPECT_EQ(Posted(), Seq{});

    poster.setEventSource(false);
    KeybdEntity::InputChar(8, 1);
    KeybdEntity::HotKey(8, 9);
    KeybdEntity::OtherCommand(MsgType_Up);
    for (int code : {1, 4, 9000, 10000, 10001, 10002})
        WindowEntity::Exec(code);
    PPTEntity::PPTExec(1);
    EXPECT_EQ(Posted(), Seq{});
    PPTEntity::PPTExec(0); // ending a slide show needs no event source
    EXPECT_EQ(Posted(), Tap(53, 0, " slides"));
}

TEST_F(InputEntities, TextIsDecodedFromUtf8AndSentInChunksOf16CodeUnits)
{
    testing::internal::CaptureStdout();
    KeybdEntity::InputChar(std::string(16, 'a').c_str());
    KeybdEntity::InputChar(std::string(17, 'b').c_str());
    KeybdEntity::InputChar(std::string(40, 'c').c_str());
    KeybdEntity::InputChar("héllo 你好");
    KeybdEntity::InputChar((std::string(15, 'x') + "😀y").c_str()); // the pair straddles two events
    MsgEntity::ProcessMsg("8^_7a b^_70.00^_70.00");                 // a live text message
    // The log has the text's length, never the text (it may be a password).
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "<16 bytes>\n16\n<17 bytes>\n16\n1\n<40 bytes>\n16\n16\n8\n<13 bytes>\n8\n<20 bytes>\n16\n2\n<3 bytes>\n3\n");
    EXPECT_EQ(Texts(), (std::vector<std::u16string>{std::u16string(16, u'a'), std::u16string(16, u'b'), u"b",
                                                    std::u16string(16, u'c'), std::u16string(16, u'c'),
                                                    std::u16string(8, u'c'), u"héllo 你好",
                                                    std::u16string(15, u'x') + u'\xD83D', u"\xDE00y", u"a b"}));

    // Empty or malformed text sends nothing.
    poster.clear();
    testing::internal::CaptureStdout();
    for (const char* text : {"", "ab\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xE4\xBD", "\xF4\x90\x80\x80"})
        KeybdEntity::InputChar(text); // overlong, surrogate half, cut short, beyond U+10FFFF
    KeybdEntity::InputChar(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<0 bytes>\n<3 bytes>\n<2 bytes>\n<3 bytes>\n<2 bytes>\n<4 bytes>\n");
    EXPECT_EQ(Posted(), Seq{});
}

} // namespace
