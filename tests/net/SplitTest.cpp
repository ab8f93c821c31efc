#include "SCommon.h"

#include <gtest/gtest.h>

TEST(Split, DropsEmptyPiecesSoLaterFieldsMoveForward)
{
    EXPECT_EQ(split("a^_7^_7b", "^_7"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(split("^_7a", "^_7"), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(split("", "^_7").empty());
    EXPECT_EQ(split("plain", "^_7"), (std::vector<std::string>{"plain"}));
    EXPECT_EQ(split("120^_780^_71", "^_7"), (std::vector<std::string>{"120", "80", "1"}));
}
