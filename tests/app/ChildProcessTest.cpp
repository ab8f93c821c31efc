// What the suite relies on when it starts programs: their output comes back
// whole, and no child outlives its test.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

TEST(ChildProcess, CollectsOutputAndStatusAndFeedsTheInput)
{
    const ChildProcess::Result run =
        ChildProcess::Run({"/bin/sh", "-c", "cat; echo to-error >&2; exit 3"}, "from the test\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "from the test\n");
    EXPECT_EQ(run.err, "to-error\n");
    EXPECT_EQ(ChildProcess::Run({"/nonexistent/corvane-program"}).status, -1);

    ChildProcess bulk({"head", "-c", "3000000", "/dev/zero"}, {.out = ChildProcess::Stream::Collect});
    EXPECT_EQ(bulk.wait(20000), 0);
    EXPECT_EQ(bulk.output().size(), 3000000u);
}

TEST(ChildProcess, TheChildEndsWhenStoppedOrWhenItsStarterEnds)
{
    ChildProcess polite({"/bin/sh", "-c", "trap 'exit 7' TERM; echo ready; while :; do sleep 0.05; done"},
                        {.out = ChildProcess::Stream::Collect});
    ASSERT_TRUE(polite.waitForOutput("ready"));
    EXPECT_EQ(polite.stop(), 7);
    EXPECT_FALSE(polite.running());

    ChildProcess stubborn({"sleep", "30"}, {.stopSignal = SIGKILL});
    EXPECT_EQ(stubborn.wait(50), -1);
    EXPECT_EQ(stubborn.stop(), -1);
    EXPECT_FALSE(stubborn.running());

    std::unique_ptr<ChildProcess> orphan;
    std::thread([&] { orphan = std::make_unique<ChildProcess>(std::vector<std::string>{"sleep", "30"}); }).join();
    ASSERT_TRUE(orphan->started());
    EXPECT_EQ(orphan->wait(10000), -1);
    EXPECT_FALSE(orphan->running()) << "the child outlived its starter";
}
