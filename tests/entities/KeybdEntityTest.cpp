#include "RecordingPosterTest.h"

#include "KeybdEntity.h"

#include <string>
#include <tuple>

namespace {

using KeybdEntityTest = RecordingPosterTest;

struct Key {
    int code;
    bool down;
    std::uint64_t flags;
    KeyPurpose purpose = KeyPurpose::Keyboard;
    bool operator==(const Key& other) const
    {
        return std::tie(code, down, flags, purpose) == std::tie(other.code, other.down, other.flags, other.purpose);
    }
};

std::ostream& operator<<(std::ostream& out, const Key& key)
{
    return out << "{" << key.code << (key.down ? " down" : " up") << " flags 0x" << std::hex << key.flags
               << std::dec << " purpose " << static_cast<int>(key.purpose) << "}";
}

std::vector<Key> Keys(const std::vector<PostedEvent>& events)
{
    std::vector<Key> keys;
    for (const PostedEvent& event : events) {
        EXPECT_EQ(event.kind, PostedEvent::Kind::Key);
        keys.push_back({event.keyCode, event.down, event.flags, event.purpose});
    }
    return keys;
}

std::vector<std::u16string> Texts(const std::vector<PostedEvent>& events)
{
    std::vector<std::u16string> texts;
    for (const PostedEvent& event : events) {
        EXPECT_EQ(event.kind, PostedEvent::Kind::Text);
        EXPECT_TRUE(event.down);
        EXPECT_EQ(event.keyCode, 0);
        texts.push_back(event.text);
    }
    return texts;
}

constexpr std::uint64_t kCommand = KeyFlags::Command;

TEST_F(KeybdEntityTest, KeyCodeIsPressedAndReleasedWithItsLow16Bits)
{
    KeybdEntity::InputChar(13);
    KeybdEntity::InputChar(0x10000 + 13);
    EXPECT_EQ(Keys(events()), (std::vector<Key>{{13, true, 0}, {13, false, 0}, {13, true, 0}, {13, false, 0}}));
}

TEST_F(KeybdEntityTest, ReturnAndDeleteKeys)
{
    KeybdEntity::ReturnChar();
    KeybdEntity::DelChar();
    EXPECT_EQ(Keys(events()), (std::vector<Key>{{52, true, 0}, {52, false, 0}, {51, true, 0}, {51, false, 0}}));
}

TEST_F(KeybdEntityTest, ModifierSelectorSetsOneFlagOnTheKeyDownOnly)
{
    const std::pair<int, std::uint64_t> cases[] = {
        {1, KeyFlags::Command}, {2, KeyFlags::Control}, {3, KeyFlags::Option}, {4, KeyFlags::Fn},
        {5, 0},                 {0, 0},                 {-1, 0},
    };
    for (const auto& [selector, flags] : cases) {
        SCOPED_TRACE(selector);
        poster.clear();
        KeybdEntity::InputChar(8, selector);
        EXPECT_EQ(Keys(events()), (std::vector<Key>{{8, true, flags}, {8, false, 0}}));
    }
}

TEST_F(KeybdEntityTest, HotKeyMaskCombinesModifiers)
{
    KeybdEntity::HotKey(1, 9);
    KeybdEntity::HotKey(1, 0);
    KeybdEntity::HotKey(1, 31);
    KeybdEntity::HotKey(1, 6);
    const std::uint64_t all = KeyFlags::Command | KeyFlags::Control | KeyFlags::Option | KeyFlags::Shift | KeyFlags::Fn;
    EXPECT_EQ(Keys(events()), (std::vector<Key>{{1, true, KeyFlags::Command | KeyFlags::Shift},
                                                {1, false, 0},
                                                {1, true, 0},
                                                {1, false, 0},
                                                {1, true, all},
                                                {1, false, 0},
                                                {1, true, KeyFlags::Control | KeyFlags::Option},
                                                {1, false, 0}}));
}

TEST_F(KeybdEntityTest, ArrowSpaceAndMusicKeys)
{
    for (int type = MsgType_Up; type <= MsgType_MusicNext; ++type)
        KeybdEntity::OtherCommand(static_cast<MsgType>(type));
    const auto music = KeyPurpose::MusicControl;
    EXPECT_EQ(Keys(events()),
              (std::vector<Key>{{126, true, 0},       {126, false, 0},       {125, true, 0},
                                {125, false, 0},      {123, true, 0},        {123, false, 0},
                                {124, true, 0},       {124, false, 0},       {49, true, 0},
                                {49, false, 0},       {49, true, 0, music},  {49, false, 0, music},
                                {126, true, kCommand, music}, {126, false, 0, music}, {125, true, kCommand, music},
                                {125, false, 0, music},       {123, true, kCommand, music}, {123, false, 0, music},
                                {124, true, kCommand, music}, {124, false, 0, music}}));
}

TEST_F(KeybdEntityTest, OtherCommandIgnoresTypesOutsideItsTable)
{
    KeybdEntity::OtherCommand(MsgType_LightOn);
    KeybdEntity::OtherCommand(MsgType_Delete);
    KeybdEntity::OtherCommand(static_cast<MsgType>(-1));
    EXPECT_TRUE(events().empty());
}

TEST_F(KeybdEntityTest, WithoutEventSourceModifiedKeysAreNotSent)
{
    poster.setEventSource(false);
    KeybdEntity::InputChar(8, 1);
    KeybdEntity::HotKey(8, 9);
    KeybdEntity::OtherCommand(MsgType_Up);
    EXPECT_TRUE(events().empty());
}

TEST_F(KeybdEntityTest, TextIsSentInChunksOf16CodeUnits)
{
    testing::internal::CaptureStdout();
    KeybdEntity::InputChar(std::string(16, 'a').c_str());
    KeybdEntity::InputChar(std::string(17, 'b').c_str());
    KeybdEntity::InputChar(std::string(40, 'c').c_str());
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(Texts(events()), (std::vector<std::u16string>{std::u16string(16, u'a'), std::u16string(16, u'b'),
                                                            u"b", std::u16string(16, u'c'),
                                                            std::u16string(16, u'c'), std::u16string(8, u'c')}));
    EXPECT_EQ(log, std::string(16, 'a') + "\n16\n" + std::string(17, 'b') + "\n16\n1\n" + std::string(40, 'c') +
                       "\n16\n16\n8\n");
}

TEST_F(KeybdEntityTest, TextIsDecodedFromUtf8)
{
    KeybdEntity::InputChar("héllo 你好");
    EXPECT_EQ(Texts(events()), (std::vector<std::u16string>{u"héllo 你好"}));
}

TEST_F(KeybdEntityTest, CharacterOutsideTheBmpStraddlesTwoEvents)
{
    const std::string text = std::string(15, 'x') + "😀y";
    KeybdEntity::InputChar(text.c_str());
    const auto texts = Texts(events());
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], std::u16string(15, u'x') + u'\xD83D');
    EXPECT_EQ(texts[1], u"\xDE00y");
}

TEST_F(KeybdEntityTest, EmptyOrMalformedTextSendsNothing)
{
    testing::internal::CaptureStdout();
    KeybdEntity::InputChar("");
    KeybdEntity::InputChar("ab\xFF");
    KeybdEntity::InputChar("\xC0\xAF");         // overlong '/'
    KeybdEntity::InputChar("\xED\xA0\x80");     // an encoded surrogate half
    KeybdEntity::InputChar("\xE4\xBD");         // cut short
    KeybdEntity::InputChar("\xF4\x90\x80\x80"); // beyond U+10FFFF
    KeybdEntity::InputChar(nullptr);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(log, "\n(null)\n(null)\n(null)\n(null)\n(null)\n");
}

} // namespace
