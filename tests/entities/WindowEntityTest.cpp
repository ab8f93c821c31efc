#include "RecordingPosterTest.h"

#include "PPTEntity.h"
#include "WindowEntity.h"

namespace {

using WindowEntityTest = RecordingPosterTest;

struct Key {
    int code;
    bool down;
    std::uint64_t flags;
};

void ExpectKeys(const std::vector<PostedEvent>& events, const std::vector<Key>& expected, KeyPurpose purpose)
{
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].kind, PostedEvent::Kind::Key);
        EXPECT_EQ(events[i].keyCode, expected[i].code);
        EXPECT_EQ(events[i].down, expected[i].down);
        EXPECT_EQ(events[i].flags, expected[i].flags);
        EXPECT_EQ(events[i].purpose, purpose);
    }
}

constexpr std::uint64_t kCommand = KeyFlags::Command;

TEST_F(WindowEntityTest, ShortcutsAreKeyDownWithFlagsThenKeyUp)
{
    const std::tuple<int, int, std::uint64_t> table[] = {
        {1, 13, kCommand},   {2, 3, kCommand | KeyFlags::Control},
        {3, 46, kCommand},   {4, 103, 0},
        {9000, 123, kCommand}, {9001, 124, kCommand},
        {9002, 15, kCommand},  {9003, 17, kCommand},
        {9004, 24, kCommand},  {9005, 27, kCommand},
        {10002, 48, kCommand},
    };
    for (const auto& [code, key, flags] : table) {
        SCOPED_TRACE(code);
        poster.clear();
        WindowEntity::Exec(code);
        ExpectKeys(events(), {{key, true, flags}, {key, false, 0}}, KeyPurpose::WindowShortcut);
    }
}

TEST_F(WindowEntityTest, SwitcherHoldsAndReleasesTheCommandKey)
{
    WindowEntity::Exec(10000);
    WindowEntity::Exec(10002);
    WindowEntity::Exec(10002);
    WindowEntity::Exec(10001);
    ExpectKeys(events(),
               {{55, true, 0}, {48, true, kCommand}, {48, false, 0}, {48, true, kCommand}, {48, false, 0},
                {55, false, 0}},
               KeyPurpose::WindowShortcut);
}

TEST_F(WindowEntityTest, UnknownCodesAndMissingSourceSendNothing)
{
    for (int code : {0, 5, 8999, 9006, 10003, -1})
        WindowEntity::Exec(code);
    EXPECT_TRUE(events().empty());

    poster.setEventSource(false);
    for (int code : {1, 4, 9000, 10000, 10001, 10002})
        WindowEntity::Exec(code);
    EXPECT_TRUE(events().empty());
}

TEST_F(WindowEntityTest, PresentationStartsWithCommandReturnAndEndsWithEscape)
{
    PPTEntity::PPTExec(1);
    PPTEntity::PPTExec(0);
    PPTEntity::PPTExec(2);
    PPTEntity::PPTExec(-1);
    ExpectKeys(events(), {{52, true, kCommand}, {52, false, 0}, {53, true, 0}, {53, false, 0}},
               KeyPurpose::Presentation);

    // Starting needs the session's event source; ending does not.
    poster.clear();
    poster.setEventSource(false);
    PPTEntity::PPTExec(1);
    EXPECT_TRUE(events().empty());
    PPTEntity::PPTExec(0);
    EXPECT_EQ(events().size(), 2u);
}

} // namespace
