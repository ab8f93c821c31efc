#include "ChildProcess.h"
#include "TempDir.h"
#include "TrayHost.h"

#include <gtest/gtest.h>
#include <unistd.h>

// The Debian package of this build (cpack), as lintian judges it: no error
// and no warning; the font of the Chinese texts among its dependencies.
// Only a build for the system prefix makes a package to hand out.
TEST(DebianPackage, PassesLintianWithManualPagesLicenceAndChangelog)
{
    if (std::string(CORVANE_INSTALL_PREFIX) != "/usr")
        GTEST_SKIP() << "packages come from builds configured with -DCMAKE_INSTALL_PREFIX=/usr";
    CORVANE_REQUIRE_TOOLS(::access("/usr/bin/lintian", X_OK) == 0, "lintian");
    TempDir out;
    const ChildProcess::Result pack =
        ChildProcess::Run({"cpack", "--config", CORVANE_BINARY_DIR "/CPackConfig.cmake", "-B", out.path()});
    ASSERT_EQ(pack.status, 0) << pack.out << pack.err;
    const std::string arch = ChildProcess::Run({"dpkg", "--print-architecture"}).out;
    const std::string deb = out.file("corvane_" CORVANE_VERSION "_" + arch.substr(0, arch.find('\n')) + ".deb");
    // Without the manual pages, the copyright file or the changelog lintian
    // would report a warning or an error.
    const ChildProcess::Result lint = ChildProcess::Run({"lintian", "--fail-on", "error,warning", deb});
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
    EXPECT_NE(ChildProcess::Run({"dpkg-deb", "--field", deb, "Depends"}).out.find("fonts-noto-cjk"), std::string::npos);
}
