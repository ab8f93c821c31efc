#include "QR_Encode.h"
#include "ZbarDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int L = CQR_Encode::LevelL;
constexpr int M = CQR_Encode::LevelM;
constexpr int Q = CQR_Encode::LevelQ;
constexpr int H = CQR_Encode::LevelH;

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

std::vector<std::string> Decode(const CQR_Encode& encoder)
{
    return ZbarDecoder::DecodeModules(encoder.SymbolSize(), [&](int x, int y) { return encoder.Module(x, y) == 1; });
}

// Encodes, checks the symbol size, and requires zbar to give the bytes back.
void ExpectRoundTrip(const std::string& bytes, int level, int version = 0, bool autoExtent = true, int mask = -1)
{
    SCOPED_TRACE("level " + std::to_string(level) + ", version " + std::to_string(version) + ", mask "
                 + std::to_string(mask) + ", " + std::to_string(bytes.size()) + " bytes");
    const auto encoder = Encode(bytes, level, version, autoExtent, mask);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(encoder->SymbolSize(), 4 * encoder->Version() + 17);
    const std::vector<std::string> decoded = Decode(*encoder);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_TRUE(decoded[0] == bytes) << "decoded " << decoded[0].size() << " bytes";
}

std::string RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Lower-case letters are 8-bit data for the segmenter: one byte, 8 bits.
std::string RandomLowerCase(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(count, 'a');
    for (char& c : bytes)
        c = static_cast<char>('a' + random() % 26);
    return bytes;
}

struct Segment {
    int mode;
    int length;
    bool operator==(const Segment&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Segment& segment)
{
    static const char* const names[] = {"numeric", "alphanumeric", "8-bit", "Kanji"};
    return out << names[segment.mode] << " " << segment.length;
}

std::vector<Segment> Segments(const CQR_Encode& encoder)
{
    std::vector<Segment> segments;
    for (int i = 0; i < encoder.BlockCount(); ++i)
        segments.push_back({encoder.BlockMode(i), encoder.BlockLength(i)});
    return segments;
}

constexpr int N = CQR_Encode::ModeNumeral;
constexpr int A = CQR_Encode::ModeAlphabet;
constexpr int B = CQR_Encode::Mode8Bit;
constexpr int K = CQR_Encode::ModeKanji;

// The 15 format bits of the copy around the top-left finder, and of the
// copy split between the other two finders, bit 14 first in the standard.
int FormatBitsNearTopLeft(const CQR_Encode& e)
{
    int bits = 0;
    for (int i = 0; i <= 5; ++i)
        bits |= e.Module(8, i) << i;
    bits |= e.Module(8, 7) << 6;
    bits |= e.Module(8, 8) << 7;
    bits |= e.Module(7, 8) << 8;
    for (int i = 9; i <= 14; ++i)
        bits |= e.Module(14 - i, 8) << i;
    return bits;
}

int FormatBitsSplit(const CQR_Encode& e)
{
    const int size = e.SymbolSize();
    int bits = 0;
    for (int i = 0; i <= 7; ++i)
        bits |= e.Module(size - 1 - i, 8) << i;
    for (int i = 8; i <= 14; ++i)
        bits |= e.Module(8, size - 15 + i) << i;
    return bits;
}

// Remainder of the polynomial division of word by generator over GF(2).
int BchRemainder(int word, int generator)
{
    int generatorDegree = 0;
    while ((generator >> (generatorDegree + 1)) != 0)
        ++generatorDegree;
    for (int bit = 31; bit >= generatorDegree; --bit) {
        if (word & (1 << bit))
            word ^= generator << (bit - generatorDegree);
    }
    return word;
}

} // namespace

// --- Segmentation: the mode blocks and bit counts of known inputs ---

TEST(QR_EncodeSegmentation, BlocksAndBitCountsOfKnownInputs)
{
    struct Case {
        const char* why;
        std::string text;
        int level;
        std::vector<Segment> segments;
        int bits;    // before the terminator
        int version; // chosen automatically
    };
    const Case cases[] = {
        {"alphanumeric text", "HELLO WORLD", Q, {{A, 11}}, 4 + 9 + 5 * 11 + 6, 1},
        {"digits", "01234567", M, {{N, 8}}, 4 + 10 + 10 + 10 + 7, 1},
        {"digit runs absorbed by the dots", "192.168.1.20", L, {{A, 12}}, 4 + 9 + 6 * 11, 1},
        {"an eleven-character address and the separator", "192.168.1.5^_7", L, {{A, 11}, {B, 3}}, 110, 1},
        {"the benchmark's pairing text", "192.168.1.20^_7", L, {{A, 12}, {B, 3}}, 79 + 36, 1},
        {"lower case is 8-bit", "abc", L, {{B, 3}}, 36, 1},
        {"one Shift-JIS pair", "\x93\x5A", L, {{K, 2}}, 4 + 8 + 13, 1},
        // Keeping the lone last lead byte apart costs no more than one 8-bit
        // block of all nine bytes, so the Kanji block stays.
        {"a lone last lead byte", "\x93\x5A\x93\x5A\x93\x5A\x93\x5A\x93", L, {{K, 8}, {B, 1}}, 84, 1},
        {"one Kanji and a lone byte: cheaper as 8-bit", "\x93\x5A\x93", L, {{B, 3}}, 36, 1},
        {"a long digit run inside text", "abc" + std::string(20, '7') + "def", L, {{B, 3}, {N, 20}, {B, 3}}, 36 + 81 + 36, 2},
        {"one digit inside text", "ab1cd", L, {{B, 5}}, 52, 1},
        // Five digits cost more apart (87 bits) than inside the 8-bit block
        // (84); six digits cost less apart (90 against 92).
        {"five digits inside text", "ab12345cd", L, {{B, 9}}, 84, 1},
        {"six digits inside text", "ab123456cd", L, {{B, 2}, {N, 6}, {B, 2}}, 90, 1},
        // Merging pairwise only: each single merge would cost more here.
        {"pairwise merging", "ABC123456789DEF", L, {{A, 3}, {N, 9}, {A, 3}}, 104, 1},
        {"a letter joins the 8-bit block before it", "abC12345", L, {{B, 3}, {N, 5}}, 36 + 31, 1},
        {"a letter joins the 8-bit block after it", "12345Cab", L, {{N, 5}, {B, 3}}, 31 + 36, 1},
        {"too dear to join: alphanumeric, then all 8-bit", "ab1A", L, {{B, 4}}, 44, 1},
        {"230 bytes with an 8-bit count", std::string(230, 'q'), L, {{B, 230}}, 4 + 8 + 230 * 8, 9},
        {"231 bytes need version 10 and a 16-bit count", std::string(231, 'q'), L, {{B, 231}}, 4 + 16 + 231 * 8, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto encoder = Encode(c.text, c.level);
        ASSERT_NE(encoder, nullptr);
        EXPECT_EQ(Segments(*encoder), c.segments);
        EXPECT_EQ(encoder->DataBitCount(), c.bits);
        EXPECT_EQ(encoder->Version(), c.version);
        const std::vector<std::string> decoded = Decode(*encoder);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], c.text);
    }
}

TEST(QR_EncodeSegmentation, CountIndicatorsGrowWithTheVersionGroup)
{
    struct Case {
        std::string text;
        int bits[3]; // versions 1-9, 10-26, 27-40
    };
    const Case cases[] = {
        {"01234567", {41, 43, 45}},
        {"HELLO WORLD", {74, 76, 78}},
        {"abc", {36, 44, 44}},
        {"\x93\x5A", {25, 27, 29}},
    };
    for (const Case& c : cases) {
        const int versions[3] = {9, 10, 27};
        for (int group = 0; group < 3; ++group) {
            SCOPED_TRACE(c.text + " at version " + std::to_string(versions[group]));
            const auto encoder = Encode(c.text, M, versions[group], false);
            ASSERT_NE(encoder, nullptr);
            EXPECT_EQ(encoder->Version(), versions[group]);
            EXPECT_EQ(encoder->DataBitCount(), c.bits[group]);
            const std::vector<std::string> decoded = Decode(*encoder);
            ASSERT_EQ(decoded.size(), 1u);
            EXPECT_EQ(decoded[0], c.text);
        }
    }
}

// --- Version choice ---

TEST(QR_EncodeVersion, LargestInputFillsVersion40)
{
    const std::string largest = RandomLowerCase(2953, 7);
    const auto encoder = Encode(largest, L);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(encoder->Version(), 40);
    EXPECT_EQ(encoder->SymbolSize(), 177);
    const std::vector<std::string> decoded = Decode(*encoder);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_TRUE(decoded[0] == largest);

    EXPECT_EQ(Encode(largest + "x", L), nullptr);
    EXPECT_EQ(Encode(largest + "x", L, 40, true), nullptr);
    EXPECT_EQ(Encode(largest, M), nullptr);
}

TEST(QR_EncodeVersion, RequestedVersionExtendsOnlyWhenAllowed)
{
    const std::string data = RandomLowerCase(200, 3);
    EXPECT_EQ(Encode(data, L, 5, false), nullptr);
    const auto extended = Encode(data, L, 5, true);
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(extended->Version(), 9);

    // A version larger than needed is kept.
    const auto larger = Encode("HELLO WORLD", Q, 12, false);
    ASSERT_NE(larger, nullptr);
    EXPECT_EQ(larger->Version(), 12);
    EXPECT_EQ(larger->SymbolSize(), 65);
}

TEST(QR_EncodeVersion, NegativeVersionIsTheSmallestOnlyWithAutoExtent)
{
    const std::string text = "192.168.1.20^_7";
    EXPECT_EQ(Encode(text, L, -1, false), nullptr);
    const auto negative = Encode(text, L, -1, true);
    const auto zero = Encode(text, L, 0, false);
    ASSERT_NE(negative, nullptr);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(negative->Version(), 1);
    EXPECT_EQ(zero->Version(), 1);
    for (int x = 0; x < 21; ++x) {
        for (int y = 0; y < 21; ++y)
            ASSERT_EQ(negative->Module(x, y), zero->Module(x, y));
    }
}

TEST(QR_EncodeVersion, RefusesEmptyInputAndArgumentsOutOfRange)
{
    auto encoder = std::make_unique<CQR_Encode>();
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -1, "", 0));
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -1, nullptr, 0));
    EXPECT_FALSE(encoder->EncodeData(4, 0, true, -1, "A", 0));
    EXPECT_FALSE(encoder->EncodeData(-1, 0, true, -1, "A", 0));
    EXPECT_FALSE(encoder->EncodeData(L, 41, true, -1, "A", 0));
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, 8, "A", 0));
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -2, "A", 0));
    EXPECT_EQ(encoder->SymbolSize(), 0);
    // Far more digits than any symbol holds.
    const std::string digits(8000, '1');
    EXPECT_FALSE(encoder->EncodeData(L, 0, true, -1, digits.c_str(), 0));
    // The most digits a symbol holds.
    const std::string most(7089, '1');
    ASSERT_TRUE(encoder->EncodeData(L, 0, true, -1, most.c_str(), 0));
    EXPECT_EQ(encoder->Version(), 40);
}

TEST(QR_EncodeVersion, LengthZeroReadsUpToTheZeroByte)
{
    const std::string withZero("AB\0cd", 5);
    auto encoder = std::make_unique<CQR_Encode>();
    ASSERT_TRUE(encoder->EncodeData(L, 0, true, -1, withZero.data(), 0));
    std::vector<std::string> decoded = Decode(*encoder);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], "AB");

    ASSERT_TRUE(encoder->EncodeData(L, 0, true, -1, withZero.data(), 5));
    decoded = Decode(*encoder);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], withZero);
}

// --- Round trips through the independent decoder ---

TEST(QR_EncodeRoundTrip, KnownTexts)
{
    for (const int level : {L, M, Q, H}) {
        ExpectRoundTrip("HELLO WORLD", level);
        ExpectRoundTrip("01234567", level);
        ExpectRoundTrip("abc", level);
        ExpectRoundTrip("Hello, World! 0123 the quick brown fox", level);
        ExpectRoundTrip("HTTP://EXAMPLE.ORG/A+B-C*D%E$F:G 1", level);
        ExpectRoundTrip("3.14159265358979323846264338327950288419716939937510", level);
    }
}

TEST(QR_EncodeRoundTrip, AddressesOfEveryShape)
{
    const char* const addresses[] = {
        "1.2.3.4", "10.0.0.2", "172.16.5.4", "192.168.1.5", "192.168.1.20", "192.168.100.200",
        "100.64.0.1", "169.254.13.77", "255.255.255.255", "0.0.0.0", "8.8.4.4",
    };
    for (const char* address : addresses) {
        for (const int level : {L, M, Q, H}) {
            ExpectRoundTrip(address, level);
            ExpectRoundTrip(std::string(address) + "^_7", level);
        }
    }
    // Several addresses, as a host with several interfaces has them.
    ExpectRoundTrip("192.168.1.5^_710.0.0.2^_7", L);
    ExpectRoundTrip("192.168.178.23^_710.8.0.1^_7172.17.0.1^_7100.101.102.103^_7", L);
    ExpectRoundTrip("192.168.178.23^_710.8.0.1^_7172.17.0.1^_7100.101.102.103^_7", H);
}

TEST(QR_EncodeRoundTrip, RandomBytesOfManyLengthsAtEveryLevel)
{
    const int largest[4] = {2953, 2331, 1663, 1273};
    const int lengths[] = {1, 2, 3, 5, 14, 17, 32, 77, 150, 271, 400, 640, 1000, 1273, 1600, 2000, 2400, 2953};
    unsigned seed = 100;
    for (const int level : {L, M, Q, H}) {
        for (const int length : lengths) {
            if (length > largest[level])
                continue;
            const std::string bytes = RandomBytes(static_cast<std::size_t>(length), ++seed);
            ExpectRoundTrip(bytes, level);
            // The version is the smallest that holds the data.
            const auto encoder = Encode(bytes, level);
            ASSERT_NE(encoder, nullptr);
            if (encoder->Version() > 1) {
                EXPECT_EQ(Encode(bytes, level, encoder->Version() - 1, false), nullptr) << length;
            }
        }
        ExpectRoundTrip(RandomBytes(static_cast<std::size_t>(largest[level]), ++seed), level);
        EXPECT_EQ(Encode(RandomLowerCase(static_cast<std::size_t>(largest[level]) + 1, seed), level), nullptr);
    }
}

TEST(QR_EncodeRoundTrip, ShiftJisKanji)
{
    // Shift-JIS: kanji, hiragana, full-width letters and the range ends.
    const std::string texts[] = {
        "\x93\x5A",
        "\x93\xFA\x96\x7B\x8C\xEA",                     // nihongo
        "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD",     // konnichiha
        "\x81\x40\x9F\xFC\xE0\x40\xEB\xBF",             // first and last codes of both ranges
        "\x93\x5A\x93\x5A\x93\x5A\x93\x5A\x93",
        "QR \x83\x52\x81\x5B\x83\x68 2024",              // mixed with text and digits
    };
    for (const std::string& text : texts) {
        for (const int level : {L, M, Q, H})
            ExpectRoundTrip(text, level);
    }
    const auto encoder = Encode(texts[1], L);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(Segments(*encoder), (std::vector<Segment>{{K, 6}}));
}

TEST(QR_EncodeRoundTrip, Utf8ChineseText)
{
    // Byte pairs of UTF-8 Chinese text fall into the Shift-JIS ranges. In
    // most text they alternate with single bytes, and one 8-bit block is
    // shorter; characters whose second and third bytes are both Shift-JIS
    // lead bytes chain into long Kanji blocks.
    const std::string common = "使用手机进行扫码连接，显示二维码";
    const std::string chained = "假做停内写假做停内写假做停内写假做停内写";
    for (const int level : {L, M, Q, H}) {
        ExpectRoundTrip(common, level);
        ExpectRoundTrip(chained, level);
    }
    const auto encoder = Encode(chained, L);
    ASSERT_NE(encoder, nullptr);
    bool kanji = false;
    for (const Segment& segment : Segments(*encoder))
        kanji = kanji || (segment.mode == K && segment.length >= 24);
    EXPECT_TRUE(kanji);
}

TEST(QR_EncodeRoundTrip, EveryVersionAtEveryLevelFilledToCapacity)
{
    // Known 8-bit capacities (bytes) of some versions.
    struct Anchor {
        int version;
        int capacity[4];
    };
    const Anchor anchors[] = {
        {1, {17, 14, 11, 7}},       {5, {106, 84, 60, 44}},         {10, {271, 213, 151, 119}},
        {20, {858, 666, 482, 382}}, {30, {1732, 1370, 982, 742}}, {40, {2953, 2331, 1663, 1273}},
    };
    unsigned seed = 500;
    for (int version = 1; version <= 40; ++version) {
        for (const int level : {L, M, Q, H}) {
            SCOPED_TRACE("version " + std::to_string(version) + " level " + std::to_string(level));
            // The largest number of bytes this version takes at this level.
            int low = 1;
            int high = 2954;
            while (high - low > 1) {
                const int middle = (low + high) / 2;
                if (Encode(RandomLowerCase(static_cast<std::size_t>(middle), seed), level, version, false, 0))
                    low = middle;
                else
                    high = middle;
            }
            const std::string full = RandomLowerCase(static_cast<std::size_t>(low), ++seed);
            const auto encoder = Encode(full, level, version, false);
            ASSERT_NE(encoder, nullptr);
            EXPECT_EQ(encoder->Version(), version);
            EXPECT_EQ(encoder->SymbolSize(), 4 * version + 17);
            const std::vector<std::string> decoded = Decode(*encoder);
            ASSERT_EQ(decoded.size(), 1u);
            EXPECT_TRUE(decoded[0] == full);
            for (const Anchor& anchor : anchors) {
                if (anchor.version == version) {
                    EXPECT_EQ(low, anchor.capacity[level]);
                }
            }
        }
    }
}

TEST(QR_EncodeRoundTrip, EveryForcedMask)
{
    const std::string texts[] = {"192.168.1.20^_7", "HELLO WORLD", RandomBytes(300, 9), RandomLowerCase(1000, 10)};
    for (const std::string& text : texts) {
        for (int mask = 0; mask < 8; ++mask) {
            const int level = mask % 4;
            ExpectRoundTrip(text, level, 0, true, mask);
            const auto encoder = Encode(text, level, 0, true, mask);
            ASSERT_NE(encoder, nullptr);
            EXPECT_EQ(encoder->MaskingNumber(), mask);
            EXPECT_EQ(((FormatBitsNearTopLeft(*encoder) ^ 0x5412) >> 10) & 7, mask);
        }
    }
}

// --- Codewords ---

namespace {

// Reads the 26 codewords of a version 1 symbol back: removes the mask and
// walks the placement zigzag over everything but the function patterns.
std::vector<int> ReadVersion1CodeWords(const CQR_Encode& encoder, int mask)
{
    const int size = 21;
    const auto function = [](int x, int y) {
        return (x < 9 && y < 9) || (x >= 13 && y < 9) || (x < 9 && y >= 13) || x == 6 || y == 6;
    };
    const auto masked = [mask](int i, int j) {
        switch (mask) {
        case 0: return (i + j) % 2 == 0;
        case 1: return i % 2 == 0;
        case 2: return j % 3 == 0;
        case 3: return (i + j) % 3 == 0;
        case 4: return (i / 2 + j / 3) % 2 == 0;
        case 5: return (i * j) % 2 + (i * j) % 3 == 0;
        case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
        default: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
        }
    };
    std::vector<int> bits;
    bool upward = true;
    for (int right = size - 1; right > 0; right -= 2) {
        if (right == 6)
            right = 5;
        for (int step = 0; step < size; ++step) {
            const int y = upward ? size - 1 - step : step;
            for (const int x : {right, right - 1}) {
                if (!function(x, y))
                    bits.push_back(encoder.Module(x, y) ^ (masked(y, x) ? 1 : 0));
            }
        }
        upward = !upward;
    }
    std::vector<int> codewords;
    for (std::size_t i = 0; i + 8 <= bits.size(); i += 8) {
        int value = 0;
        for (std::size_t k = 0; k < 8; ++k)
            value = value << 1 | bits[i + k];
        codewords.push_back(value);
    }
    return codewords;
}

} // namespace

TEST(QR_EncodeCodeWords, WorkedExampleOfTheStandard)
{
    // 01234567 as 1-M: the data codewords with terminator and padding, then
    // the ten error-correction codewords, whatever the mask.
    const std::vector<int> expected = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC,
                                       0x11, 0xEC, 0x11, 0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55};
    for (int mask = -1; mask < 8; ++mask) {
        const auto encoder = Encode("01234567", M, 1, false, mask);
        ASSERT_NE(encoder, nullptr);
        EXPECT_EQ(ReadVersion1CodeWords(*encoder, encoder->MaskingNumber()), expected) << "mask " << mask;
    }
}

TEST(QR_EncodeCodeWords, TerminatorShortensWhenTheSymbolIsFull)
{
    // 17 bytes at 1-L fill 148 of 152 bits: a 4-bit terminator, no padding.
    // 16 bytes leave room for a whole pad codeword.
    const auto full = Encode("abcdefghijklmnopq", L, 1, false, 0);
    ASSERT_NE(full, nullptr);
    std::vector<int> codewords = ReadVersion1CodeWords(*full, 0);
    ASSERT_EQ(codewords.size(), 26u);
    EXPECT_EQ(codewords[0], 0x41);           // 0100 and the count's high nibble
    EXPECT_EQ(codewords[18], ('q' & 0x0F) << 4);

    const auto padded = Encode("abcdefghijklmnop", L, 1, false, 0);
    ASSERT_NE(padded, nullptr);
    codewords = ReadVersion1CodeWords(*padded, 0);
    EXPECT_EQ(codewords[17], ('p' & 0x0F) << 4);
    EXPECT_EQ(codewords[18], 0xEC);
}

// --- Function patterns ---

TEST(QR_EncodeStructure, FormatInformationNamesLevelAndMask)
{
    const int levelBits[4] = {1, 0, 3, 2}; // L, M, Q, H
    for (const int level : {L, M, Q, H}) {
        for (int mask = -1; mask < 8; ++mask) {
            const auto encoder = Encode("FORMAT 42", level, 0, true, mask);
            ASSERT_NE(encoder, nullptr);
            const int first = FormatBitsNearTopLeft(*encoder);
            EXPECT_EQ(first, FormatBitsSplit(*encoder));
            const int information = first ^ 0x5412;
            EXPECT_EQ(information >> 13, levelBits[level]);
            EXPECT_EQ((information >> 10) & 7, encoder->MaskingNumber());
            EXPECT_EQ(BchRemainder(information, 0x537), 0);
            EXPECT_EQ(encoder->Module(8, encoder->SymbolSize() - 8), 1); // the dark module
        }
    }
}

TEST(QR_EncodeStructure, VersionInformationFromVersion7)
{
    for (int version = 7; version <= 40; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const auto encoder = Encode(RandomBytes(20, static_cast<unsigned>(version)), Q, version, false);
        ASSERT_NE(encoder, nullptr);
        const int size = encoder->SymbolSize();
        int bottomLeft = 0;
        int topRight = 0;
        for (int bit = 0; bit < 18; ++bit) {
            bottomLeft |= encoder->Module(bit / 3, size - 11 + bit % 3) << bit;
            topRight |= encoder->Module(size - 11 + bit % 3, bit / 3) << bit;
        }
        EXPECT_EQ(bottomLeft, topRight);
        EXPECT_EQ(bottomLeft >> 12, version);
        EXPECT_EQ(BchRemainder(bottomLeft, 0x1F25), 0);
        if (version == 7) {
            EXPECT_EQ(bottomLeft, 0x07C94);
        }
        if (version == 40) {
            EXPECT_EQ(bottomLeft, 0x28C69);
        }
    }
}

TEST(QR_EncodeStructure, Version6HasNoVersionInformation)
{
    // The same corner areas carry data in version 6: they change with it.
    const auto first = Encode(RandomBytes(60, 1), Q, 6, false, 0);
    const auto second = Encode(RandomBytes(60, 2), Q, 6, false, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const int size = first->SymbolSize();
    int differences = 0;
    for (int bit = 0; bit < 18; ++bit)
        differences += first->Module(bit / 3, size - 11 + bit % 3) != second->Module(bit / 3, size - 11 + bit % 3);
    EXPECT_GT(differences, 0);
}

// --- Automatic mask choice ---

namespace {

// The four penalty terms, written out plainly over a row-major matrix.
int ReferencePenalty(const std::vector<std::vector<int>>& dark)
{
    const int n = static_cast<int>(dark.size());
    int penalty = 0;
    for (const bool rows : {true, false}) {
        for (int line = 0; line < n; ++line) {
            const auto at = [&](int k) { return rows ? dark[line][k] : dark[k][line]; };
            const auto light = [&](int k) { return k < 0 || k >= n || at(k) == 0; };
            for (int start = 0; start < n;) {
                int end = start;
                while (end < n && at(end) == at(start))
                    ++end;
                if (end - start >= 5)
                    penalty += end - start - 2;
                start = end;
            }
            for (int j = 0; j + 7 <= n; ++j) {
                const int pattern[7] = {1, 0, 1, 1, 1, 0, 1};
                bool match = light(j - 1) && light(j + 7);
                for (int k = 0; k < 7 && match; ++k)
                    match = at(j + k) == pattern[k];
                if (match && ((light(j - 2) && light(j - 3) && light(j - 4)) || (light(j + 8) && light(j + 9) && light(j + 10))))
                    penalty += 40;
            }
        }
    }
    int lightCount = 0;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            lightCount += dark[y][x] == 0;
            if (x + 1 < n && y + 1 < n) {
                const int sum = dark[y][x] + dark[y][x + 1] + dark[y + 1][x] + dark[y + 1][x + 1];
                if (sum == 0 || sum == 4)
                    penalty += 3;
            }
        }
    }
    const int percent = lightCount * 100 / (n * n);
    return penalty + std::abs(50 - percent) / 5 * 10;
}

std::vector<std::vector<int>> Matrix(const CQR_Encode& encoder)
{
    const int n = encoder.SymbolSize();
    std::vector<std::vector<int>> dark(static_cast<std::size_t>(n), std::vector<int>(static_cast<std::size_t>(n)));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x)
            dark[y][x] = encoder.Module(x, y);
    }
    return dark;
}

} // namespace

TEST(QR_EncodeMask, PenaltyOfSymbolsOfEverySize)
{
    // Sizes on both sides of 64 and 128 modules (with a few to spare), with
    // every mask.
    unsigned seed = 900;
    for (const int version : {1, 2, 7, 10, 11, 12, 15, 16, 26, 27, 28, 40}) {
        for (int mask = 0; mask < 8; ++mask) {
            const auto encoder = Encode(RandomBytes(static_cast<std::size_t>(version * 4), ++seed), mask % 4, version,
                                        false, mask);
            ASSERT_NE(encoder, nullptr);
            EXPECT_EQ(encoder->Penalty(), ReferencePenalty(Matrix(*encoder))) << "version " << version << " mask " << mask;
        }
    }
}

TEST(QR_EncodeMask, LowestPenaltyWinsAndTiesKeepTheLowerMask)
{
    int ties = 0;
    int inputs = 0;
    for (int i = 0; inputs < 60 || ties < 3; ++i) {
        ASSERT_LT(i, 5000) << "no tie between masks found";
        const std::string text = (i % 3 == 0 ? "10.0.0." : (i % 3 == 1 ? "item " : "ID")) + std::to_string(i);
        const int level = i % 4;
        int penalties[8];
        std::vector<std::vector<int>> matrices[8];
        for (int mask = 0; mask < 8; ++mask) {
            const auto forced = Encode(text, level, i % 5 == 0 ? 7 : 0, true, mask);
            ASSERT_NE(forced, nullptr);
            matrices[mask] = Matrix(*forced);
            penalties[mask] = ReferencePenalty(matrices[mask]);
        }
        int best = 0;
        for (int mask = 1; mask < 8; ++mask) {
            if (penalties[mask] < penalties[best])
                best = mask;
        }
        int atBest = 0;
        for (const int penalty : penalties)
            atBest += penalty == penalties[best];
        ties += atBest > 1;
        ++inputs;

        const auto chosen = Encode(text, level, i % 5 == 0 ? 7 : 0, true, -1);
        ASSERT_NE(chosen, nullptr);
        ASSERT_EQ(chosen->MaskingNumber(), best) << text << " at level " << level;
        ASSERT_EQ(Matrix(*chosen), matrices[best]);
    }
}
