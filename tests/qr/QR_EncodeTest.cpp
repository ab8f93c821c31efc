#include "QR_Encode.h"
#include "ZbarDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int L = CQR_Encode::LevelL, M = CQR_Encode::LevelM, Q = CQR_Encode::LevelQ, H = CQR_Encode::LevelH;
constexpr int N = CQR_Encode::ModeNumeral, A = CQR_Encode::ModeAlphabet, B = CQR_Encode::Mode8Bit,
              K = CQR_Encode::ModeKanji;

// An encoder made as its users make it, on the heap; null when EncodeData
// refuses the input.
std::unique_ptr<CQR_Encode> Encode(const std::string& bytes, int level, int version = 0, bool autoExtent = true,
                                   int mask = -1)
{
    auto encoder = std::make_unique<CQR_Encode>();
    if (!encoder->EncodeData(level, version, autoExtent, mask, bytes.data(), static_cast<int>(bytes.size())))
        return nullptr;
    return encoder;
}

std::vector<std::string> Decode(const CQR_Encode& e)
{
    return ZbarDecoder::DecodeModules(e.SymbolSize(), [&](int x, int y) { return e.Module(x, y) == 1; });
}

// Encodes, checks the symbol size and requires zbar to give exactly the
// bytes back; returns the encoder (null, with a failure, when refused).
std::unique_ptr<CQR_Encode> RoundTrip(const std::string& bytes, int level, int version = 0, bool autoExtent = true,
                                      int mask = -1)
{
    const std::string what = "level " + std::to_string(level) + ", version " + std::to_string(version) + ", mask " +
                             std::to_string(mask) + ", " + std::to_string(bytes.size()) + " bytes";
    auto encoder = Encode(bytes, level, version, autoExtent, mask);
    if (!encoder) {
        ADD_FAILURE() << "refused: " << what;
        return nullptr;
    }
    EXPECT_EQ(encoder->SymbolSize(), 4 * encoder->Version() + 17) << what;
    EXPECT_TRUE(Decode(*encoder) == std::vector<std::string>{bytes}) << what;
    return encoder;
}

std::string RandomBytes(std::size_t count, unsigned sampleNumber, int first = 0, int range = 256)
{
    std::mt19937 random(sampleNumber);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(first + static_cast<int>(random() % static_cast<unsigned>(range)));
    return bytes;
}

// Lower-case letters are 8-bit data for the segmenter: one byte, 8 bits.
std::string RandomLowerCase(std::size_t count, unsigned sampleNumber)
{
    return RandomBytes(count, sampleNumber, 'a', 26);
}

std::vector<std::vector<int>> Matrix(const CQR_Encode& e)
{
    std::vector<std::vector<int>> dark(e.SymbolSize(), std::vector<int>(e.SymbolSize()));
    for (int y = 0; y < e.SymbolSize(); ++y)
        for (int x = 0; x < e.SymbolSize(); ++x)
            dark[y][x] = e.Module(x, y);
    return dark;
}

// The mode blocks written: (mode, length in input bytes).
using Segments = std::vector<std::pair<int, int>>;

Segments SegmentsOf(const CQR_Encode& encoder)
{
    Segments segments;
    for (int i = 0; i < encoder.BlockCount(); ++i)
        segments.emplace_back(encoder.BlockMode(i), encoder.BlockLength(i));
    return segments;
}

} // namespace

// --- Segmentation: the mode blocks and bit counts of known inputs ---

TEST(QR_EncodeSegmentation, BlocksBitCountsAndVersionOfKnownInputs)
{
    struct Case {
        const char* why;
        std::string text;
        int level;
        int requested; // 0: the smallest version that holds the text
        Segments segments;
        int bits; // before the terminator
        int version;
    };
    const Case cases[] = {
        {"alphanumeric text", "HELLO WORLD", Q, 0, {{A, 11}}, 4 + 9 + 5 * 11 + 6, 1},
        {"digits", "01234567", M, 0, {{N, 8}}, 4 + 10 + 10 + 10 + 7, 1},
        {"the pairing text: digit runs absorbed by the dots", "192.168.1.20^_7", L, 0, {{A, 12}, {B, 3}}, 79 + 36, 1},
        {"lower case is 8-bit", "abc", L, 0, {{B, 3}}, 36, 1},
        {"one Shift-JIS pair", "\x93\x5A", L, 0, {{K, 2}}, 4 + 8 + 13, 1},
        // Keeping the lone last lead byte apart costs no more than one 8-bit
        // block of all nine bytes, so the Kanji block stays.
        {"a lone last lead byte", "\x93\x5A\x93\x5A\x93\x5A\x93\x5A\x93", L, 0, {{K, 8}, {B, 1}}, 84, 1},
        {"one Kanji and a lone byte: cheaper as 8-bit", "\x93\x5A\x93", L, 0, {{B, 3}}, 36, 1},
        {"a long digit run inside text", "abc" + std::string(20, '7') + "def", L, 0, {{B, 3}, {N, 20}, {B, 3}}, 36 + 81 + 36, 2},
        // Five digits cost more apart (87 bits) than inside the 8-bit block
        // (84); six digits cost less apart (90 against 92).
        {"five digits inside text", "ab12345cd", L, 0, {{B, 9}}, 84, 1},
        {"six digits inside text", "ab123456cd", L, 0, {{B, 2}, {N, 6}, {B, 2}}, 90, 1},
        // Merging pairwise only: each single merge would cost more here.
        {"pairwise merging", "ABC123456789DEF", L, 0, {{A, 3}, {N, 9}, {A, 3}}, 104, 1},
        {"a letter joins the 8-bit block before it", "abC12345", L, 0, {{B, 3}, {N, 5}}, 36 + 31, 1},
        {"a letter joins the 8-bit block after it", "12345Cab", L, 0, {{N, 5}, {B, 3}}, 31 + 36, 1},
        {"too dear to join: alphanumeric, then all 8-bit", "ab1A", L, 0, {{B, 4}}, 44, 1},
        {"230 bytes with an 8-bit count", std::string(230, 'q'), L, 0, {{B, 230}}, 4 + 8 + 230 * 8, 9},
        {"231 bytes need version 10 and a 16-bit count", std::string(231, 'q'), L, 0, {{B, 231}}, 4 + 16 + 231 * 8, 10},
        // Count indicators grow at versions 10 and 27.
        {"digits at version 10", "01234567", M, 10, {{N, 8}}, 43, 10},
        {"digits at version 27", "01234567", M, 27, {{N, 8}}, 45, 27},
        {"alphanumeric at version 10", "HELLO WORLD", M, 10, {{A, 11}}, 76, 10},
        {"alphanumeric at version 27", "HELLO WORLD", M, 27, {{A, 11}}, 78, 27},
        {"8-bit at version 10", "abc", M, 10, {{B, 3}}, 44, 10},
        {"8-bit at version 27", "abc", M, 27, {{B, 3}}, 44, 27},
        {"Kanji at version 10", "\x93\x5A", M, 10, {{K, 2}}, 27, 10},
        {"Kanji at version 27", "\x93\x5A", M, 27, {{K, 2}}, 29, 27},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto encoder = RoundTrip(c.text, c.level, c.requested, false);
        ASSERT_NE(encoder, nullptr);
        EXPECT_EQ(SegmentsOf(*encoder), c.segments);
        EXPECT_EQ(encoder->DataBitCount(), c.bits);
        EXPECT_EQ(encoder->Version(), c.version);
    }
}

// --- Version choice and refusals ---

TEST(QR_EncodeVersion, RequestedVersionsAndRefusals)
{
    // A requested version is extended only when allowed.
    const std::string data = RandomLowerCase(200, 3);
    EXPECT_EQ(Encode(data, L, 5, false), nullptr);
    const auto extended = Encode(data, L, 5, true);
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(extended->Version(), 9);
    const auto larger = Encode("HELLO WORLD", Q, 12, false); // larger than needed: kept
    ASSERT_NE(larger, nullptr);
    EXPECT_EQ(larger->Version(), 12);

    // A negative version is the smallest one, but only with autoExtent.
    const std::string text = "192.168.1.20^_7";
    EXPECT_EQ(Encode(text, L, -1, false), nullptr);
    const auto negative = Encode(text, L, -1, true);
    const auto zero = Encode(text, L, 0, false);
    ASSERT_TRUE(negative && zero);
    EXPECT_EQ(negative->Version(), 1);
    EXPECT_EQ(Matrix(*negative), Matrix(*zero));

    // Empty input, arguments out of range and too much data are refused.
    const auto encoder = std::make_unique<CQR_Encode>();
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -1, "", 0));
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -1, nullptr, 0));
    const struct {
        int level, version, mask;
    } refused[] = {{4, 0, -1}, {-1, 0, -1}, {L, 41, -1}, {L, 0, 8}, {L, 0, -2}};
    for (const auto& r : refused)
        EXPECT_FALSE(encoder->EncodeData(r.level, r.version, true, r.mask, "A", 0)) << r.level << r.version << r.mask;
    EXPECT_EQ(encoder->SymbolSize(), 0);
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -1, std::string(7090, '1').c_str(), 0));
    ASSERT_TRUE(encoder->EncodeData(L, 0, true, -1, std::string(7089, '1').c_str(), 0)); // the most digits
    EXPECT_EQ(encoder->Version(), 40);
    EXPECT_EQ(Encode(RandomLowerCase(2953, 7) + "x", L, 40, true), nullptr);
    // Length zero reads up to the zero byte.
    const std::string withZero("AB\0cd", 5);
    ASSERT_TRUE(encoder->EncodeData(L, 0, true, -1, withZero.data(), 0));
    EXPECT_EQ(Decode(*encoder), std::vector<std::string>{"AB"});
    ASSERT_TRUE(encoder->EncodeData(L, 0, true, -1, withZero.data(), 5));
    EXPECT_EQ(Decode(*encoder), std::vector<std::string>{withZero});
}

// --- Round trips through the independent decoder ---

TEST(QR_EncodeRoundTrip, TextsAtEveryLevel)
{
    const std::string texts[] = {
        "Hello, World! 0123 the quick brown fox", "HTTP://EXAMPLE.ORG/A+B-C*D%E$F:G 1",
        "3.14159265358979323846264338327950288419716939937510",
        // Addresses as the pairing code lists them.
        "10.0.0.2^_7", "192.168.100.200^_7", "192.168.178.23^_710.8.0.1^_7172.17.0.1^_7100.101.102.103^_7",
        // Shift-JIS: nihongo, konnichiha, the first and last codes of both
        // ranges, and kana mixed with text and digits.
        "\x93\xFA\x96\x7B\x8C\xEA", "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD", "\x81\x40\x9F\xFC\xE0\x40\xEB\xBF",
        "QR \x83\x52\x81\x5B\x83\x68 2024",
        // Byte pairs of UTF-8 Chinese text fall into the Shift-JIS ranges. In
        // most text they alternate with single bytes, and one 8-bit block is
        // shorter; characters whose second and third bytes are both Shift-JIS
        // lead bytes chain into long Kanji blocks.
        "使用手机进行扫码连接，显示二维码", "假做停内写假做停内写假做停内写假做停内写"};
    for (const std::string& text : texts)
        for (const int level : {L, M, Q, H})
            RoundTrip(text, level);
    const auto nihongo = Encode(texts[6], L);
    const auto chained = Encode(texts[11], L);
    ASSERT_TRUE(nihongo && chained);
    EXPECT_EQ(SegmentsOf(*nihongo), (Segments{{K, 6}}));
    const Segments blocks = SegmentsOf(*chained);
    EXPECT_TRUE(std::any_of(blocks.begin(), blocks.end(), [](auto b) { return b.first == K && b.second >= 24; }));
}

TEST(QR_EncodeRoundTrip, EveryVersionAtEveryLevelFilledToCapacityAndTheSmallestVersionChosen)
{
    // Known 8-bit capacities (bytes) of some versions at L, M, Q, H.
    const std::map<int, std::vector<int>> known = {{1, {17, 14, 11, 7}},       {5, {106, 84, 60, 44}},
                                                   {10, {271, 213, 151, 119}}, {20, {858, 666, 482, 382}},
                                                   {30, {1732, 1370, 982, 742}}, {40, {2953, 2331, 1663, 1273}}};
    unsigned sampleNumber = 500;
    for (int version = 1; version <= 40; ++version) {
        for (const int level : {L, M, Q, H}) {
            SCOPED_TRACE("version " + std::to_string(version) + " level " + std::to_string(level));
            // The largest number of 8-bit letters this version takes at this level.
            int low = 1;
            int high = 2954;
            while (high - low > 1) {
                const int middle = (low + high) / 2;
                (Encode(RandomLowerCase(middle, sampleNumber), level, version, false, 0) ? low : high) = middle;
            }
            if (known.count(version)) {
                EXPECT_EQ(low, known.at(version)[level]);
            }
            // This version is the smallest that holds them.
            const auto full = RoundTrip(RandomLowerCase(low, ++sampleNumber), level);
            ASSERT_NE(full, nullptr);
            EXPECT_EQ(full->Version(), version);
            // Arbitrary bytes, which mix all modes, take the smallest version too.
            const std::string bytes = RandomBytes(low * 3 / 4 + 1, ++sampleNumber);
            const auto mixed = RoundTrip(bytes, level);
            ASSERT_NE(mixed, nullptr);
            if (mixed->Version() > 1) {
                EXPECT_EQ(Encode(bytes, level, mixed->Version() - 1, false), nullptr);
            }
        }
    }
    for (const int level : {L, M, Q, H})
        EXPECT_EQ(Encode(RandomLowerCase(known.at(40)[level] + 1, 1), level), nullptr) << "too much for version 40";
}

// --- Function patterns ---

TEST(QR_EncodeStructure, EveryVersionWithEveryLevelAndMaskAsked)
{
    // zbar reads the format information (level and mask) and, from version 7,
    // the version information: a wrong one makes the symbol unreadable. The
    // first 32 versions give every level with every mask.
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE("version " + std::to_string(i + 1));
        const auto e = RoundTrip(RandomBytes(i < 8 ? 4 : 60, i), i / 8 % 4, i + 1, false, i % 8);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->MaskingNumber(), i % 8);
        EXPECT_EQ(e->Module(8, e->SymbolSize() - 8), 1); // the dark module
    }
}
