// The one way tests and benchmarks start programs: what the child gets
// (arguments, environment, descriptors, signal handling) and what the test
// gets back (status, output), with real processes.
#include "ChildProcess.h"
#include "StubTools.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

TEST(ChildProcess, RunKeepsStatusOutputAndErrorApartAndFeedsTheInput)
{
    const ChildProcess::Result run =
        ChildProcess::Run({"/bin/sh", "-c", "cat; echo to-error >&2; exit 3"}, "from the test\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "from the test\n");
    EXPECT_EQ(run.err, "to-error\n");

    // Without input the program meets the end of its input at once.
    const ChildProcess::Result empty = ChildProcess::Run({"cat"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
}

TEST(ChildProcess, NamesAreLookedUpInPathAndMissingProgramsDoNotStart)
{
    StubTools stubs({"corvane-child-probe"});
    const ChildProcess::Result run = ChildProcess::Run({"corvane-child-probe", "one", "two words"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(stubs.calls(), std::vector<std::string>{"corvane-child-probe one two words"});

    EXPECT_EQ(ChildProcess::Run({"corvane-no-such-program"}).status, -1);
    ChildProcess missingPath({"/nonexistent/corvane-program"});
    EXPECT_FALSE(missingPath.started());
    EXPECT_FALSE(missingPath.running());
    EXPECT_EQ(missingPath.wait(), -1);
    // A file that is there but may not be run.
    TempDir dir;
    ChildProcess notExecutable({dir.write("not-a-program", "#!/bin/sh\n")});
    EXPECT_FALSE(notExecutable.started());
}

TEST(ChildProcess, CollectsBothStreamsInOrderWhileItRunsAndAllOfItOnceEnded)
{
    ChildProcess child({"/bin/sh", "-c", "echo one; echo two >&2; read -r line; echo \"$line\""},
                       {.out = ChildProcess::Stream::Collect, .err = ChildProcess::Stream::Collect, .input = true});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitForOutput("two\n"));
    EXPECT_TRUE(child.running());
    EXPECT_TRUE(child.write("three\n"));
    child.closeInput();
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(child.output(), "one\ntwo\nthree\n");

    ChildProcess bulk({"head", "-c", "3000000", "/dev/zero"}, {.out = ChildProcess::Stream::Collect});
    EXPECT_EQ(bulk.wait(20000), 0);
    EXPECT_EQ(bulk.output().size(), 3000000u);
}

TEST(ChildProcess, StopSendsItsSignalAndReportsHowTheChildEnded)
{
    ChildProcess polite({"/bin/sh", "-c", "trap 'exit 7' TERM; echo ready; while :; do sleep 0.05; done"},
                        {.out = ChildProcess::Stream::Collect});
    ASSERT_TRUE(polite.waitForOutput("ready"));
    EXPECT_EQ(polite.stop(), 7);
    EXPECT_FALSE(polite.running());
    EXPECT_EQ(polite.stop(), 7);

    ChildProcess app({"sleep", "30"}, {.stopSignal = SIGKILL});
    ASSERT_TRUE(app.running());
    EXPECT_EQ(app.wait(50), -1) << "still running at the time-out";
    EXPECT_TRUE(app.running());
    EXPECT_EQ(app.stop(), -1);
    EXPECT_FALSE(app.running());
}

TEST(ChildProcess, TheChildStartsWithDefaultSignalHandling)
{
    // The test ignores SIGTERM and blocks it in this thread; the child must
    // still end on it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction savedAction {};
    ASSERT_EQ(::sigaction(SIGTERM, &ignore, &savedAction), 0);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t savedMask;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &savedMask), 0);

    ChildProcess child({"sleep", "30"});
    ::pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    ::sigaction(SIGTERM, &savedAction, nullptr);
    ASSERT_TRUE(child.started());
    ::kill(child.pid(), SIGTERM);
    EXPECT_EQ(child.wait(10000), -1);
    EXPECT_FALSE(child.running()) << "SIGTERM did not end the child";
}

TEST(ChildProcess, TheChildGetsTheEnvironmentChangesAndOnlyTheDescriptorsNamed)
{
    int kept[2];
    ASSERT_EQ(::pipe2(kept, O_CLOEXEC), 0);
    int stray[2]; // inheritable, as a careless socket or pipe of the test would be
    ASSERT_EQ(::pipe(stray), 0);
    const std::string script = "echo kept >&" + std::to_string(kept[1]) + "; [ -e /proc/$$/fd/" +
                               std::to_string(stray[1]) + " ] && echo leaked; echo \"$CORVANE_CHILD_TEST $HOME\"";
    ChildProcess child({"/bin/sh", "-c", script},
                       {.out = ChildProcess::Stream::Collect,
                        .keepOpen = {kept[1]},
                        .environment = {"CORVANE_CHILD_TEST=one two", "HOME=/elsewhere"}});
    ::close(kept[1]);
    EXPECT_EQ(child.wait(10000), 0);
    EXPECT_EQ(child.output(), "one two /elsewhere\n");
    char got[16] = {};
    EXPECT_EQ(::read(kept[0], got, sizeof got), 5);
    EXPECT_STREQ(got, "kept\n");
    EXPECT_EQ(std::getenv("CORVANE_CHILD_TEST"), nullptr);
    for (int fd : {kept[0], stray[0], stray[1]})
        ::close(fd);
}

TEST(ChildProcess, WritingToAChildThatNoLongerReadsFailsWithoutSigpipe)
{
    ChildProcess child({"true"}, {.input = true});
    EXPECT_EQ(child.wait(10000), 0);
    EXPECT_FALSE(child.write(std::string(1 << 20, 'x')));
    child.closeInput();
    EXPECT_FALSE(child.write("more"));
}

TEST(ChildProcess, TheChildEndsWithTheThreadThatStartedIt)
{
    std::unique_ptr<ChildProcess> child;
    std::thread starter([&] { child = std::make_unique<ChildProcess>(std::vector<std::string>{"sleep", "30"}); });
    starter.join();
    ASSERT_TRUE(child->started());
    EXPECT_EQ(child->wait(10000), -1);
    EXPECT_FALSE(child->running()) << "the child outlived its starter";
}

} // namespace
