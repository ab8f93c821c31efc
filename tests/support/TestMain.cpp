#include "DesktopModule.h"

#include <cstdlib>
#include <gtest/gtest.h>

// Every test runs in the same locale whatever the machine's: the English of
// the C locale. Tests of the Chinese texts start programs in a Chinese
// locale of their own. The desktop module is linked in rather than loaded.
int main(int argc, char** argv)
{
    DesktopModule::setInstance(corvane_desktop_module());
    ::setenv("LANG", "C.UTF-8", 1);
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        ::unsetenv(name);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
