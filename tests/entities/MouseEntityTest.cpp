#include "RecordingPosterTest.h"

#include "MouseEntity.h"

#include <cmath>
#include <limits>

namespace {

using MouseEntityTest = RecordingPosterTest;

struct Expected {
    MouseEventType type;
    MouseButton button;
    int clickState;
};

void ExpectMouseEvents(const std::vector<PostedEvent>& events, const std::vector<Expected>& expected,
                       ScreenPoint at)
{
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].kind, PostedEvent::Kind::Mouse);
        EXPECT_EQ(events[i].mouseType, expected[i].type);
        EXPECT_EQ(events[i].button, expected[i].button);
        EXPECT_EQ(events[i].clickState, expected[i].clickState);
        EXPECT_DOUBLE_EQ(events[i].at.x, at.x);
        EXPECT_DOUBLE_EQ(events[i].at.y, at.y);
    }
}

constexpr auto LDown = MouseEventType::LeftDown;
constexpr auto LUp = MouseEventType::LeftUp;
constexpr auto Left = MouseButton::Left;

TEST_F(MouseEntityTest, LeftActionsPressReleaseAndClickAtThePointer)
{
    poster.setPointerLocation({40, 30});

    MouseEntity::LeftSingleTap(0);
    EXPECT_TRUE(MouseEntity::bLeftBtnDown);
    MouseEntity::LeftSingleTap(1);
    EXPECT_FALSE(MouseEntity::bLeftBtnDown);
    MouseEntity::LeftSingleTap(0);
    MouseEntity::LeftSingleTap(2);
    EXPECT_FALSE(MouseEntity::bLeftBtnDown);

    ExpectMouseEvents(events(),
                      {{LDown, Left, kClickStateUnset},
                       {LUp, Left, kClickStateUnset},
                       {LDown, Left, kClickStateUnset},
                       {LDown, Left, kClickStateUnset},
                       {LUp, Left, kClickStateUnset}},
                      {40, 30});
}

TEST_F(MouseEntityTest, UnknownButtonActionsPostNothingAndKeepTheFlag)
{
    MouseEntity::LeftSingleTap(0);
    poster.clear();
    MouseEntity::LeftSingleTap(5);
    MouseEntity::LeftSingleTap(-1);
    MouseEntity::RightSingleTap(3);
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(MouseEntity::bLeftBtnDown);
}

TEST_F(MouseEntityTest, DoubleClickIsAPlainClickThenAClickWithState2)
{
    poster.setPointerLocation({7, 9});
    MouseEntity::LeftDoubleTap();
    ExpectMouseEvents(events(),
                      {{LDown, Left, kClickStateUnset}, {LUp, Left, kClickStateUnset}, {LDown, Left, 2}, {LUp, Left, 2}},
                      {7, 9});
}

TEST_F(MouseEntityTest, TripleClickPostsSixEventsEndingWithState3)
{
    poster.setPointerLocation({100, 200});
    MouseEntity::LeftThreeTap();
    ExpectMouseEvents(events(),
                      {{LDown, Left, kClickStateUnset},
                       {LUp, Left, kClickStateUnset},
                       {LDown, Left, 3},
                       {LUp, Left, 3},
                       {LDown, Left, 3},
                       {LUp, Left, 3}},
                      {100, 200});
}

TEST_F(MouseEntityTest, RightButtonLeavesTheLeftFlagAlone)
{
    poster.setPointerLocation({5, 5});
    MouseEntity::RightSingleTap(0);
    MouseEntity::RightSingleTap(1);
    MouseEntity::RightSingleTap(2);
    EXPECT_FALSE(MouseEntity::bLeftBtnDown);
    ExpectMouseEvents(events(),
                      {{MouseEventType::RightDown, MouseButton::Right, kClickStateUnset},
                       {MouseEventType::RightUp, MouseButton::Right, kClickStateUnset},
                       {MouseEventType::RightDown, MouseButton::Right, kClickStateUnset},
                       {MouseEventType::RightUp, MouseButton::Right, kClickStateUnset}},
                      {5, 5});

    // A held right button does not make a move a drag.
    MouseEntity::RightSingleTap(0);
    poster.clear();
    MouseEntity::Move(1, 1);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].mouseType, MouseEventType::Moved);
}

TEST_F(MouseEntityTest, MoveAddsTheDeltaAndDragsOnlyWhileTheLeftButtonIsHeld)
{
    poster.setPointerLocation({100, 100});
    MouseEntity::Move(12.5f, -3.0f);
    MouseEntity::LeftSingleTap(0);
    MouseEntity::Move(1, 1);
    MouseEntity::LeftSingleTap(1);
    MouseEntity::Move(1, 1);

    const auto posted = events();
    ASSERT_EQ(posted.size(), 5u);
    EXPECT_EQ(posted[0].mouseType, MouseEventType::Moved);
    EXPECT_DOUBLE_EQ(posted[0].at.x, 112.5);
    EXPECT_DOUBLE_EQ(posted[0].at.y, 97.0);
    EXPECT_EQ(posted[2].mouseType, MouseEventType::LeftDragged);
    EXPECT_DOUBLE_EQ(posted[2].at.x, 113.5);
    EXPECT_EQ(posted[4].mouseType, MouseEventType::Moved);
    EXPECT_DOUBLE_EQ(posted[4].at.y, 99.0);
}

TEST_F(MouseEntityTest, MovesAreConfinedToTheMainScreen)
{
    poster.setScreenSize({800, 600});
    poster.setPointerLocation({10, 10});
    MouseEntity::Move(-25, -0.5f);
    MouseEntity::Move(900, 700);
    MouseEntity::Move(-1, 0);
    MouseEntity::Move(std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity());

    const auto posted = events();
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_DOUBLE_EQ(posted[0].at.x, 0);
    EXPECT_DOUBLE_EQ(posted[0].at.y, 9.5);
    EXPECT_DOUBLE_EQ(posted[1].at.x, 799);
    EXPECT_DOUBLE_EQ(posted[1].at.y, 599);
    EXPECT_DOUBLE_EQ(posted[2].at.x, 798);
    EXPECT_DOUBLE_EQ(posted[3].at.x, 0);
    EXPECT_DOUBLE_EQ(posted[3].at.y, 599);
}

TEST_F(MouseEntityTest, MoveLogsTheNewPosition)
{
    poster.setPointerLocation({10, 20});
    testing::internal::CaptureStdout();
    MouseEntity::Move(1.25f, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "11.250000 22.000000\n");
}

TEST_F(MouseEntityTest, DragPressesOnceThenKeepsDragging)
{
    poster.setPointerLocation({50, 60});
    MouseEntity::Drag(5, 0);
    MouseEntity::Drag(5, 0);
    EXPECT_TRUE(MouseEntity::bLeftBtnDown);

    const auto posted = events();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].mouseType, MouseEventType::LeftDown);
    EXPECT_DOUBLE_EQ(posted[0].at.x, 50);
    EXPECT_EQ(posted[1].mouseType, MouseEventType::LeftDragged);
    EXPECT_DOUBLE_EQ(posted[1].at.x, 55);
    EXPECT_EQ(posted[2].mouseType, MouseEventType::LeftDragged);
    EXPECT_DOUBLE_EQ(posted[2].at.x, 60);

    MouseEntity::LeftSingleTap(1);
    EXPECT_FALSE(MouseEntity::bLeftBtnDown);
}

TEST_F(MouseEntityTest, ScrollPostsFivePixelsPerStep)
{
    MouseEntity::ScrollWheelMove(0, -3);
    MouseEntity::ScrollWheelMove(2, 1);
    MouseEntity::ScrollWheelMove(std::numeric_limits<int>::max(), std::numeric_limits<int>::min());

    const auto posted = events();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].kind, PostedEvent::Kind::Scroll);
    EXPECT_EQ(posted[0].verticalPixels, -15);
    EXPECT_EQ(posted[0].horizontalPixels, 0);
    EXPECT_EQ(posted[1].verticalPixels, 5);
    EXPECT_EQ(posted[1].horizontalPixels, 10);
    // Far beyond any gesture: held at the int range instead of overflowing.
    EXPECT_EQ(posted[2].verticalPixels, std::numeric_limits<int>::min());
    EXPECT_EQ(posted[2].horizontalPixels, std::numeric_limits<int>::max());
}

} // namespace
