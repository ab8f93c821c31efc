#include "PeerNames.h"

#include <gtest/gtest.h>

// Names come in discovery datagrams: only clean, short, well-formed text is
// kept, for a bounded number of peers.
TEST(PeerNames, KeepsCleanShortTextOfTheMostRecentPeers)
{
    const std::string a62(62, 'a');
    const std::vector<std::pair<std::string, std::string>> names = {
        {"  张三的 iPhone  ", "张三的 iPhone"},
        {"tab\there\x1b[31m", "tabhere[31m"},
        {"evil\xe2\x80\xae" "enohp", "evilenohp"}, // right-to-left override
        {"bad\xc3(", ""},                         // malformed UTF-8
        {"over\xc0\xaflong", ""},                 // an overlong slash
        {a62 + "张z", a62},                        // cut before what does not fit in 64 bytes
        {"\x7f\xc2\x85", ""},
    };
    PeerNames peers;
    for (std::uint32_t i = 0; i < names.size(); ++i) {
        peers.Remember(i, names[i].first.c_str());
        EXPECT_EQ(peers.Lookup(i), names[i].second) << names[i].first;
    }
    // A malformed name forgets the one before; the oldest peer goes first.
    peers.Remember(0, "bad\xff");
    EXPECT_EQ(peers.Lookup(0), "");
    for (std::uint32_t address = 100; address < 100 + PeerNames::kMaxPeers; ++address)
        peers.Remember(address, "phone");
    EXPECT_EQ(peers.Lookup(1) + peers.Lookup(100), "phone");
}
