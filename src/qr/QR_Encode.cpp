#include "QR_Encode.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// One group of equally sized Reed-Solomon blocks.
struct RSBlockGroup {
    int blockCount;
    int codeWordsPerBlock;     // data + error correction
    int dataCodeWordsPerBlock;
};

// The standard's error-correction characteristics and alignment pattern
// positions of one version.
struct VersionInfo {
    int version;
    int allCodeWords;
    int dataCodeWords[4];      // levels L, M, Q, H
    int alignPointCount;       // alignment centre coordinates besides 6
    int alignPoint[6];
    RSBlockGroup group1[4];    // per level
    RSBlockGroup group2[4];    // per level; empty where the level has one group
};

constexpr VersionInfo QR_VersonInfo[41] = {
    {0, 0, {0, 0, 0, 0}, 0, {0, 0, 0, 0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    {1, 26, {19, 16, 13, 9}, 0, {0, 0, 0, 0, 0, 0},
     {{1, 26, 19}, {1, 26, 16}, {1, 26, 13}, {1, 26, 9}},
     {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    {2, 44, {34, 28, 22, 16}, 1, {18, 0, 0, 0, 0, 0},
     {{1, 44, 34}, {1, 44, 28}, {1, 44, 22}, {1, 44, 16}},
     {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    {3, 70, {55, 44, 34, 26}, 1, {22, 0, 0, 0, 0, 0},
     {{1, 70, 55}, {1, 70, 44}, {2, 35, 17}, {2, 35, 13}},
     {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    {4, 100, {80, 64, 48, 36}, 1, {26, 0, 0, 0, 0, 0},
     {{1, 100, 80}, {2, 50, 32}, {2, 50, 24}, {4, 25, 9}},
     {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    {5, 134, {108, 86, 62, 46}, 1, {30, 0, 0, 0, 0, 0},
     {{1, 134, 108}, {2, 67, 43}, {2, 33, 15}, {2, 33, 11}},
     {{0, 0, 0}, {0, 0, 0}, {2, 34, 16}, {2, 34, 12}}},
    {6, 172, {136, 108, 76, 60}, 1, {34, 0, 0, 0, 0, 0},
     {{2, 86, 68}, {4, 43, 27}, {4, 43, 19}, {4, 43, 15}},
     {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    {7, 196, {156, 124, 88, 66}, 2, {22, 38, 0, 0, 0, 0},
     {{2, 98, 78}, {4, 49, 31}, {2, 32, 14}, {4, 39, 13}},
     {{0, 0, 0}, {0, 0, 0}, {4, 33, 15}, {1, 40, 14}}},
    {8, 242, {194, 154, 110, 86}, 2, {24, 42, 0, 0, 0, 0},
     {{2, 121, 97}, {2, 60, 38}, {4, 40, 18}, {4, 40, 14}},
     {{0, 0, 0}, {2, 61, 39}, {2, 41, 19}, {2, 41, 15}}},
    {9, 292, {232, 182, 132, 100}, 2, {26, 46, 0, 0, 0, 0},
     {{2, 146, 116}, {3, 58, 36}, {4, 36, 16}, {4, 36, 12}},
     {{0, 0, 0}, {2, 59, 37}, {4, 37, 17}, {4, 37, 13}}},
    {10, 346, {274, 216, 154, 122}, 2, {28, 50, 0, 0, 0, 0},
     {{2, 86, 68}, {4, 69, 43}, {6, 43, 19}, {6, 43, 15}},
     {{2, 87, 69}, {1, 70, 44}, {2, 44, 20}, {2, 44, 16}}},
    {11, 404, {324, 254, 180, 140}, 2, {30, 54, 0, 0, 0, 0},
     {{4, 101, 81}, {1, 80, 50}, {4, 50, 22}, {3, 36, 12}},
     {{0, 0, 0}, {4, 81, 51}, {4, 51, 23}, {8, 37, 13}}},
    {12, 466, {370, 290, 206, 158}, 2, {32, 58, 0, 0, 0, 0},
     {{2, 116, 92}, {6, 58, 36}, {4, 46, 20}, {7, 42, 14}},
     {{2, 117, 93}, {2, 59, 37}, {6, 47, 21}, {4, 43, 15}}},
    {13, 532, {428, 334, 244, 180}, 2, {34, 62, 0, 0, 0, 0},
     {{4, 133, 107}, {8, 59, 37}, {8, 44, 20}, {12, 33, 11}},
     {{0, 0, 0}, {1, 60, 38}, {4, 45, 21}, {4, 34, 12}}},
    {14, 581, {461, 365, 261, 197}, 3, {26, 46, 66, 0, 0, 0},
     {{3, 145, 115}, {4, 64, 40}, {11, 36, 16}, {11, 36, 12}},
     {{1, 146, 116}, {5, 65, 41}, {5, 37, 17}, {5, 37, 13}}},
    {15, 655, {523, 415, 295, 223}, 3, {26, 48, 70, 0, 0, 0},
     {{5, 109, 87}, {5, 65, 41}, {5, 54, 24}, {11, 36, 12}},
     {{1, 110, 88}, {5, 66, 42}, {7, 55, 25}, {7, 37, 13}}},
    {16, 733, {589, 453, 325, 253}, 3, {26, 50, 74, 0, 0, 0},
     {{5, 122, 98}, {7, 73, 45}, {15, 43, 19}, {3, 45, 15}},
     {{1, 123, 99}, {3, 74, 46}, {2, 44, 20}, {13, 46, 16}}},
    {17, 815, {647, 507, 367, 283}, 3, {30, 54, 78, 0, 0, 0},
     {{1, 135, 107}, {10, 74, 46}, {1, 50, 22}, {2, 42, 14}},
     {{5, 136, 108}, {1, 75, 47}, {15, 51, 23}, {17, 43, 15}}},
    {18, 901, {721, 563, 397, 313}, 3, {30, 56, 82, 0, 0, 0},
     {{5, 150, 120}, {9, 69, 43}, {17, 50, 22}, {2, 42, 14}},
     {{1, 151, 121}, {4, 70, 44}, {1, 51, 23}, {19, 43, 15}}},
    {19, 991, {795, 627, 445, 341}, 3, {30, 58, 86, 0, 0, 0},
     {{3, 141, 113}, {3, 70, 44}, {17, 47, 21}, {9, 39, 13}},
     {{4, 142, 114}, {11, 71, 45}, {4, 48, 22}, {16, 40, 14}}},
    {20, 1085, {861, 669, 485, 385}, 3, {34, 62, 90, 0, 0, 0},
     {{3, 135, 107}, {3, 67, 41}, {15, 54, 24}, {15, 43, 15}},
     {{5, 136, 108}, {13, 68, 42}, {5, 55, 25}, {10, 44, 16}}},
    {21, 1156, {932, 714, 512, 406}, 4, {28, 50, 72, 94, 0, 0},
     {{4, 144, 116}, {17, 68, 42}, {17, 50, 22}, {19, 46, 16}},
     {{4, 145, 117}, {0, 0, 0}, {6, 51, 23}, {6, 47, 17}}},
    {22, 1258, {1006, 782, 568, 442}, 4, {26, 50, 74, 98, 0, 0},
     {{2, 139, 111}, {17, 74, 46}, {7, 54, 24}, {34, 37, 13}},
     {{7, 140, 112}, {0, 0, 0}, {16, 55, 25}, {0, 0, 0}}},
    {23, 1364, {1094, 860, 614, 464}, 4, {30, 54, 78, 102, 0, 0},
     {{4, 151, 121}, {4, 75, 47}, {11, 54, 24}, {16, 45, 15}},
     {{5, 152, 122}, {14, 76, 48}, {14, 55, 25}, {14, 46, 16}}},
    {24, 1474, {1174, 914, 664, 514}, 4, {28, 54, 80, 106, 0, 0},
     {{6, 147, 117}, {6, 73, 45}, {11, 54, 24}, {30, 46, 16}},
     {{4, 148, 118}, {14, 74, 46}, {16, 55, 25}, {2, 47, 17}}},
    {25, 1588, {1276, 1000, 718, 538}, 4, {32, 58, 84, 110, 0, 0},
     {{8, 132, 106}, {8, 75, 47}, {7, 54, 24}, {22, 45, 15}},
     {{4, 133, 107}, {13, 76, 48}, {22, 55, 25}, {13, 46, 16}}},
    {26, 1706, {1370, 1062, 754, 596}, 4, {30, 58, 86, 114, 0, 0},
     {{10, 142, 114}, {19, 74, 46}, {28, 50, 22}, {33, 46, 16}},
     {{2, 143, 115}, {4, 75, 47}, {6, 51, 23}, {4, 47, 17}}},
    {27, 1828, {1468, 1128, 808, 628}, 4, {34, 62, 90, 118, 0, 0},
     {{8, 152, 122}, {22, 73, 45}, {8, 53, 23}, {12, 45, 15}},
     {{4, 153, 123}, {3, 74, 46}, {26, 54, 24}, {28, 46, 16}}},
    {28, 1921, {1531, 1193, 871, 661}, 5, {26, 50, 74, 98, 122, 0},
     {{3, 147, 117}, {3, 73, 45}, {4, 54, 24}, {11, 45, 15}},
     {{10, 148, 118}, {23, 74, 46}, {31, 55, 25}, {31, 46, 16}}},
    {29, 2051, {1631, 1267, 911, 701}, 5, {30, 54, 78, 102, 126, 0},
     {{7, 146, 116}, {21, 73, 45}, {1, 53, 23}, {19, 45, 15}},
     {{7, 147, 117}, {7, 74, 46}, {37, 54, 24}, {26, 46, 16}}},
    {30, 2185, {1735, 1373, 985, 745}, 5, {26, 52, 78, 104, 130, 0},
     {{5, 145, 115}, {19, 75, 47}, {15, 54, 24}, {23, 45, 15}},
     {{10, 146, 116}, {10, 76, 48}, {25, 55, 25}, {25, 46, 16}}},
    {31, 2323, {1843, 1455, 1033, 793}, 5, {30, 56, 82, 108, 134, 0},
     {{13, 145, 115}, {2, 74, 46}, {42, 54, 24}, {23, 45, 15}},
     {{3, 146, 116}, {29, 75, 47}, {1, 55, 25}, {28, 46, 16}}},
    {32, 2465, {1955, 1541, 1115, 845}, 5, {34, 60, 86, 112, 138, 0},
     {{17, 145, 115}, {10, 74, 46}, {10, 54, 24}, {19, 45, 15}},
     {{0, 0, 0}, {23, 75, 47}, {35, 55, 25}, {35, 46, 16}}},
    {33, 2611, {2071, 1631, 1171, 901}, 5, {30, 58, 86, 114, 142, 0},
     {{17, 145, 115}, {14, 74, 46}, {29, 54, 24}, {11, 45, 15}},
     {{1, 146, 116}, {21, 75, 47}, {19, 55, 25}, {46, 46, 16}}},
    {34, 2761, {2191, 1725, 1231, 961}, 5, {34, 62, 90, 118, 146, 0},
     {{13, 145, 115}, {14, 74, 46}, {44, 54, 24}, {59, 46, 16}},
     {{6, 146, 116}, {23, 75, 47}, {7, 55, 25}, {1, 47, 17}}},
    {35, 2876, {2306, 1812, 1286, 986}, 6, {30, 54, 78, 102, 126, 150},
     {{12, 151, 121}, {12, 75, 47}, {39, 54, 24}, {22, 45, 15}},
     {{7, 152, 122}, {26, 76, 48}, {14, 55, 25}, {41, 46, 16}}},
    {36, 3034, {2434, 1914, 1354, 1054}, 6, {24, 50, 76, 102, 128, 154},
     {{6, 151, 121}, {6, 75, 47}, {46, 54, 24}, {2, 45, 15}},
     {{14, 152, 122}, {34, 76, 48}, {10, 55, 25}, {64, 46, 16}}},
    {37, 3196, {2566, 1992, 1426, 1096}, 6, {28, 54, 80, 106, 132, 158},
     {{17, 152, 122}, {29, 74, 46}, {49, 54, 24}, {24, 45, 15}},
     {{4, 153, 123}, {14, 75, 47}, {10, 55, 25}, {46, 46, 16}}},
    {38, 3362, {2702, 2102, 1502, 1142}, 6, {32, 58, 84, 110, 136, 162},
     {{4, 152, 122}, {13, 74, 46}, {48, 54, 24}, {42, 45, 15}},
     {{18, 153, 123}, {32, 75, 47}, {14, 55, 25}, {32, 46, 16}}},
    {39, 3532, {2812, 2216, 1582, 1222}, 6, {26, 54, 82, 110, 138, 166},
     {{20, 147, 117}, {40, 75, 47}, {43, 54, 24}, {10, 45, 15}},
     {{4, 148, 118}, {7, 76, 48}, {22, 55, 25}, {67, 46, 16}}},
    {40, 3706, {2956, 2334, 1666, 1276}, 6, {30, 58, 86, 114, 142, 170},
     {{19, 148, 118}, {18, 75, 47}, {34, 54, 24}, {20, 45, 15}},
     {{6, 149, 119}, {31, 76, 48}, {34, 55, 25}, {61, 46, 16}}},
};

// Checks the table against itself: every level's blocks add up to the
// version's codewords, both groups carry the same number of check codewords
// and the data codeword counts match the blocks.
constexpr bool VersionTableConsistent()
{
    for (int v = 1; v <= 40; ++v) {
        const VersionInfo& info = QR_VersonInfo[v];
        if (info.version != v)
            return false;
        const int size = 4 * v + 17;
        if (info.alignPointCount > 0 && info.alignPoint[info.alignPointCount - 1] != size - 7)
            return false;
        for (int level = 0; level < 4; ++level) {
            const RSBlockGroup& g1 = info.group1[level];
            const RSBlockGroup& g2 = info.group2[level];
            const int check = g1.codeWordsPerBlock - g1.dataCodeWordsPerBlock;
            if (g2.blockCount != 0 && (g2.codeWordsPerBlock - g2.dataCodeWordsPerBlock != check
                                       || g2.codeWordsPerBlock != g1.codeWordsPerBlock + 1))
                return false;
            if (g1.blockCount * g1.codeWordsPerBlock + g2.blockCount * g2.codeWordsPerBlock != info.allCodeWords)
                return false;
            if (g1.blockCount * g1.dataCodeWordsPerBlock + g2.blockCount * g2.dataCodeWordsPerBlock
                != info.dataCodeWords[level])
                return false;
            if (std::max(g1.codeWordsPerBlock, g2.codeWordsPerBlock) > QR_MAX_CODEBLOCK)
                return false;
        }
    }
    return QR_VersonInfo[40].allCodeWords == QR_MAX_ALLCODEWORD
        && QR_VersonInfo[40].dataCodeWords[CQR_Encode::LevelL] == QR_MAX_DATACODEWORD;
}
static_assert(VersionTableConsistent(), "version table does not add up");

// Character count indicator lengths for versions 1-9, 10-26 and 27-40.
constexpr int nIndicatorLenNumeral[3] = {10, 12, 14};
constexpr int nIndicatorLenAlphabet[3] = {9, 11, 13};
constexpr int nIndicatorLen8Bit[3] = {8, 16, 16};
constexpr int nIndicatorLenKanji[3] = {8, 10, 12};

constexpr int kGroupFirstVersion[3] = {1, 10, 27};
constexpr int kGroupLastVersion[3] = {9, 26, 40};

// The longest input any symbol can hold: 7089 digits in version 40 at
// level L. Longer inputs fail before any work (and bit costs stay in int).
constexpr int kMaxSourceLength = 7089;

// Arithmetic in GF(256) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1.
struct GaloisField {
    std::uint8_t expToInt[512]; // antilogarithm alpha^e, twice over so that a
                                // sum of two exponents needs no reduction
    std::uint8_t intToExp[256]; // logarithm; entry 0 unused
};

constexpr GaloisField MakeGaloisField()
{
    GaloisField field{};
    int value = 1;
    for (int e = 0; e < 255; ++e) {
        field.expToInt[e] = static_cast<std::uint8_t>(value);
        field.intToExp[value] = static_cast<std::uint8_t>(e);
        value <<= 1;
        if (value & 0x100)
            value ^= 0x11D;
    }
    for (int e = 255; e < 512; ++e)
        field.expToInt[e] = field.expToInt[e - 255];
    return field;
}

constexpr GaloisField kField = MakeGaloisField();
constexpr const std::uint8_t (&byExpToInt)[512] = kField.expToInt;
constexpr const std::uint8_t (&byIntToExp)[256] = kField.intToExp;

// The error-correction codeword counts for which the standard gives a
// generator polynomial.
constexpr int kRSCheckCounts[] = {7, 10, 13, 15, 16, 17, 18, 20, 22, 24, 26, 28, 30,
                                  32, 34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 56,
                                  58, 60, 62, 64, 66, 68};
constexpr int kRSMaxCheck = 68;

// Generator polynomials (x - alpha^0)(x - alpha^1)...(x - alpha^(n-1)),
// indexed by n; row n lists the n coefficients below the leading x^n, from
// the highest power down, as exponents of alpha.
struct RSGenerators {
    std::uint8_t exps[kRSMaxCheck + 1][kRSMaxCheck];
    bool present[kRSMaxCheck + 1];
};

constexpr RSGenerators MakeRSGenerators()
{
    RSGenerators table{};
    for (const int count : kRSCheckCounts) {
        std::uint8_t poly[kRSMaxCheck + 1] = {1}; // coefficients, highest power first
        for (int degree = 0; degree < count; ++degree) {
            const int root = byExpToInt[degree];
            for (int j = degree + 1; j >= 1; --j) {
                const int previous = poly[j - 1];
                const int product = previous == 0 ? 0 : byExpToInt[(byIntToExp[previous] + byIntToExp[root]) % 255];
                poly[j] = static_cast<std::uint8_t>(poly[j] ^ product);
            }
        }
        for (int j = 1; j <= count; ++j)
            table.exps[count][j - 1] = byIntToExp[poly[j]];
        table.present[count] = true;
    }
    return table;
}

constexpr RSGenerators byRSExp = MakeRSGenerators();

constexpr bool GeneratorsCoverTable()
{
    for (int v = 1; v <= 40; ++v) {
        for (int level = 0; level < 4; ++level) {
            const RSBlockGroup& g = QR_VersonInfo[v].group1[level];
            if (!byRSExp.present[g.codeWordsPerBlock - g.dataCodeWordsPerBlock])
                return false;
        }
    }
    // The seven-codeword generator as the standard lists it.
    constexpr std::uint8_t seven[7] = {87, 229, 146, 149, 238, 102, 21};
    for (int j = 0; j < 7; ++j) {
        if (byRSExp.exps[7][j] != seven[j])
            return false;
    }
    return true;
}
static_assert(GeneratorsCoverTable(), "missing or wrong Reed-Solomon generator");

// Finder pattern rows (7 bits) and alignment pattern rows (5 bits), most
// significant bit on the left.
constexpr std::uint8_t kFinderRows[7] = {0x7F, 0x41, 0x5D, 0x5D, 0x5D, 0x41, 0x7F};
constexpr std::uint8_t kAlignmentRows[5] = {0x1F, 0x11, 0x15, 0x11, 0x1F};

// Module codes while the symbol is built.
constexpr std::uint8_t kFunction = 0x20;     // never masked or overwritten
constexpr std::uint8_t kFunctionDark = 0x30;
constexpr std::uint8_t kDataPlaced = 0x02;   // dark data bit before masking
constexpr std::uint8_t kDarkBits = 0x11;     // dark function or dark masked data

// Format information level bits for L, M, Q, H.
constexpr int kLevelFormatBits[4] = {1, 0, 3, 2};

} // namespace

CQR_Encode::CQR_Encode() = default;
CQR_Encode::~CQR_Encode() = default;

bool CQR_Encode::EncodeData(int requestedLevel, int requestedVersion, bool autoExtent, int masking,
                            const char* source, int sourceLength)
{
    symbolSize = 0;
    if (source == nullptr || requestedLevel < LevelL || requestedLevel > LevelH
        || requestedVersion > 40 || masking < -1 || masking > 7)
        return false;
    const int length = sourceLength > 0 ? sourceLength
                                        : static_cast<int>(::strnlen(source, kMaxSourceLength + 1));
    if (length == 0 || length > kMaxSourceLength)
        return false;

    level = requestedLevel;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(source);
    const int needed = GetEncodeVersion(requestedVersion, bytes, length);
    if (needed == 0)
        return false;
    if (requestedVersion == 0)
        version = needed;
    else if (requestedVersion >= needed)
        version = requestedVersion;
    else if (autoExtent)
        version = needed;
    else
        return false;

    // Terminator, zero bits up to the byte boundary (the buffer was cleared
    // when the stream was written), then the pad codewords 0xEC, 0x11, ...
    const int dataCount = QR_VersonInfo[version].dataCodeWords[level];
    const int capacityBits = dataCount * 8;
    const int usedBits = dataBitCount + std::min(4, capacityBits - dataBitCount);
    std::uint8_t pad = 0xEC;
    for (int i = (usedBits + 7) / 8; i < dataCount; ++i) {
        dataCodeWord[i] = pad;
        pad = pad == 0xEC ? 0x11 : 0xEC;
    }

    InterleaveCodeWords();
    symbolSize = version * 4 + 17;
    maskingNumber = masking;
    FormatModule();
    return true;
}

int CQR_Encode::GetEncodeVersion(int wanted, const std::uint8_t* source, int length)
{
    int group = wanted >= 27 ? 2 : (wanted >= 10 ? 1 : 0);
    for (; group < 3; ++group) {
        if (!EncodeSourceData(source, length, group))
            continue;
        const int neededCodeWords = (dataBitCount + 7) / 8;
        for (int v = kGroupFirstVersion[group]; v <= kGroupLastVersion[group]; ++v) {
            if (QR_VersonInfo[v].dataCodeWords[level] >= neededCodeWords)
                return v;
        }
    }
    return 0;
}

bool CQR_Encode::EncodeSourceData(const std::uint8_t* source, int length, int versionGroup)
{
    // 1. Runs of one character class form the first blocks.
    blockCount = 0;
    for (int i = 0; i < length;) {
        std::uint8_t mode = Mode8Bit;
        int step = 1;
        if (i + 1 < length && IsKanjiData(source[i], source[i + 1])) {
            mode = ModeKanji;
            step = 2;
        } else if (IsNumeralData(source[i])) {
            mode = ModeNumeral;
        } else if (IsAlphabetData(source[i])) {
            mode = ModeAlphabet;
        }
        if (blockCount == 0 || blockMode[blockCount - 1] != mode) {
            if (blockCount == QR_MAX_BLOCKS)
                return false;
            blockMode[blockCount] = mode;
            blockLength[blockCount] = 0;
            ++blockCount;
        }
        blockLength[blockCount - 1] += step;
        i += step;
    }

    const auto cost = [&](int block) { return GetBitLength(blockMode[block], blockLength[block], versionGroup); };
    const auto cost8Bit = [&](int bytes) { return GetBitLength(Mode8Bit, bytes, versionGroup); };

    // 2. Neighbouring numeric and alphanumeric blocks become one
    // alphanumeric block where that is shorter, unless joining one of them to
    // a neighbouring 8-bit block is shorter still.
    int i = 0;
    while (i < blockCount - 1) {
        const int first = blockMode[i];
        const int second = blockMode[i + 1];
        if (!((first == ModeNumeral && second == ModeAlphabet) || (first == ModeAlphabet && second == ModeNumeral))) {
            ++i;
            continue;
        }
        const int separate = cost(i) + cost(i + 1);
        const int merged = GetBitLength(ModeAlphabet, blockLength[i] + blockLength[i + 1], versionGroup);
        if (separate <= merged) {
            ++i;
            continue;
        }
        int joinBefore = 0; // block i joins the 8-bit block before it
        if (i >= 1 && blockMode[i - 1] == Mode8Bit) {
            joinBefore = cost8Bit(blockLength[i - 1] + blockLength[i]) + cost(i + 1);
            if (joinBefore > merged + cost8Bit(blockLength[i - 1]))
                joinBefore = 0;
        }
        int joinAfter = 0; // block i+1 joins the 8-bit block after it
        if (i + 2 < blockCount && blockMode[i + 2] == Mode8Bit) {
            joinAfter = cost(i) + cost8Bit(blockLength[i + 1] + blockLength[i + 2]);
            if (joinAfter > merged + cost8Bit(blockLength[i + 2]))
                joinAfter = 0;
        }
        if (joinBefore == 0 && joinAfter == 0) {
            if (i + 2 < blockCount && blockMode[i + 2] == ModeAlphabet) {
                blockLength[i + 1] += blockLength[i + 2];
                RemoveBlock(i + 2);
            }
            blockMode[i] = ModeAlphabet;
            blockLength[i] += blockLength[i + 1];
            RemoveBlock(i + 1);
            if (i >= 1 && blockMode[i - 1] == ModeAlphabet) {
                blockLength[i - 1] += blockLength[i];
                RemoveBlock(i);
            }
        } else if (joinAfter == 0 || (joinBefore != 0 && joinBefore < joinAfter)) {
            blockLength[i - 1] += blockLength[i];
            RemoveBlock(i);
        } else {
            blockMode[i + 1] = Mode8Bit;
            blockLength[i + 1] += blockLength[i + 2];
            RemoveBlock(i + 2);
        }
    }

    // 3. Neighbouring blocks become one 8-bit block where that is shorter,
    // counting the headers saved when an 8-bit neighbour absorbs them too.
    const int header8Bit = nIndicatorLen8Bit[versionGroup] + 4;
    i = 0;
    while (i < blockCount - 1) {
        const int separate = cost(i) + cost(i + 1);
        int merged = cost8Bit(blockLength[i] + blockLength[i + 1]);
        if (i >= 1 && blockMode[i - 1] == Mode8Bit)
            merged -= header8Bit;
        if (i + 2 < blockCount && blockMode[i + 2] == Mode8Bit)
            merged -= header8Bit;
        if (separate <= merged) {
            ++i;
            continue;
        }
        if (i >= 1 && blockMode[i - 1] == Mode8Bit) {
            blockLength[i - 1] += blockLength[i];
            RemoveBlock(i);
            --i;
        }
        if (i + 2 < blockCount && blockMode[i + 2] == Mode8Bit) {
            blockLength[i + 1] += blockLength[i + 2];
            RemoveBlock(i + 2);
        }
        blockMode[i] = Mode8Bit;
        blockLength[i] += blockLength[i + 1];
        RemoveBlock(i + 1);
        if (i >= 1)
            --i;
    }

    // 4. The bit stream, block by block.
    std::memset(dataCodeWord, 0, sizeof dataCodeWord);
    int bit = 0;
    const std::uint8_t* data = source;
    for (int block = 0; block < blockCount && bit >= 0; ++block) {
        const int count = blockLength[block];
        switch (blockMode[block]) {
        case ModeNumeral:
            bit = SetBitStream(bit, 0x1, 4);
            bit = SetBitStream(bit, static_cast<unsigned>(count), nIndicatorLenNumeral[versionGroup]);
            for (int k = 0; k < count; k += 3) {
                const int digits = std::min(3, count - k);
                unsigned value = 0;
                for (int d = 0; d < digits; ++d)
                    value = value * 10 + static_cast<unsigned>(data[k + d] - '0');
                bit = SetBitStream(bit, value, digits == 3 ? 10 : (digits == 2 ? 7 : 4));
            }
            break;
        case ModeAlphabet:
            bit = SetBitStream(bit, 0x2, 4);
            bit = SetBitStream(bit, static_cast<unsigned>(count), nIndicatorLenAlphabet[versionGroup]);
            for (int k = 0; k < count; k += 2) {
                if (k + 1 < count)
                    bit = SetBitStream(bit, AlphabetToBinaly(data[k]) * 45u + AlphabetToBinaly(data[k + 1]), 11);
                else
                    bit = SetBitStream(bit, AlphabetToBinaly(data[k]), 6);
            }
            break;
        case Mode8Bit:
            bit = SetBitStream(bit, 0x4, 4);
            bit = SetBitStream(bit, static_cast<unsigned>(count), nIndicatorLen8Bit[versionGroup]);
            for (int k = 0; k < count; ++k)
                bit = SetBitStream(bit, data[k], 8);
            break;
        default: // ModeKanji
            bit = SetBitStream(bit, 0x8, 4);
            bit = SetBitStream(bit, static_cast<unsigned>(count / 2), nIndicatorLenKanji[versionGroup]);
            for (int k = 0; k + 1 < count; k += 2)
                bit = SetBitStream(bit, KanjiToBinaly((static_cast<unsigned>(data[k]) << 8) | data[k + 1]), 13);
            break;
        }
        data += count;
    }
    if (bit < 0)
        return false;
    dataBitCount = bit;
    return true;
}

int CQR_Encode::GetBitLength(int mode, int length, int versionGroup) const
{
    switch (mode) {
    case ModeNumeral: {
        const int rest = length % 3;
        return 4 + nIndicatorLenNumeral[versionGroup] + 10 * (length / 3) + (rest == 1 ? 4 : (rest == 2 ? 7 : 0));
    }
    case ModeAlphabet:
        return 4 + nIndicatorLenAlphabet[versionGroup] + 11 * (length / 2) + 6 * (length % 2);
    case Mode8Bit:
        return 4 + nIndicatorLen8Bit[versionGroup] + 8 * length;
    default: // ModeKanji
        return 4 + nIndicatorLenKanji[versionGroup] + 13 * (length / 2);
    }
}

int CQR_Encode::SetBitStream(int index, unsigned data, int length)
{
    if (index < 0 || index + length > QR_MAX_BITDATA)
        return -1;
    // Most significant bit first, as many bits at a time as the current
    // byte has room for.
    while (length > 0) {
        const int room = 8 - (index & 7);
        const int take = std::min(room, length);
        const unsigned part = (data >> (length - take)) & ((1u << take) - 1);
        dataCodeWord[index >> 3] = static_cast<std::uint8_t>(dataCodeWord[index >> 3] | (part << (room - take)));
        index += take;
        length -= take;
    }
    return index;
}

void CQR_Encode::RemoveBlock(int index)
{
    const int after = blockCount - index - 1;
    std::memmove(&blockMode[index], &blockMode[index + 1], static_cast<std::size_t>(after) * sizeof blockMode[0]);
    std::memmove(&blockLength[index], &blockLength[index + 1], static_cast<std::size_t>(after) * sizeof blockLength[0]);
    --blockCount;
}

bool CQR_Encode::IsNumeralData(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

bool CQR_Encode::IsAlphabetData(std::uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == ' ' || c == '$' || c == '%' || c == '*'
        || c == '+' || c == '-' || c == '.' || c == '/' || c == ':';
}

bool CQR_Encode::IsKanjiData(std::uint8_t c1, std::uint8_t c2)
{
    if (!((c1 >= 0x81 && c1 <= 0x9F) || (c1 >= 0xE0 && c1 <= 0xEB)) || c2 < 0x40)
        return false;
    if (c1 == 0x9F && c2 > 0xFC)
        return false;
    if (c1 == 0xEB && c2 >= 0xC0)
        return false;
    return true;
}

std::uint8_t CQR_Encode::AlphabetToBinaly(std::uint8_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    switch (c) {
    case ' ': return 36;
    case '$': return 37;
    case '%': return 38;
    case '*': return 39;
    case '+': return 40;
    case '-': return 41;
    case '.': return 42;
    case '/': return 43;
    default: return 44; // ':'
    }
}

unsigned CQR_Encode::KanjiToBinaly(unsigned code)
{
    code -= (code >= 0x8140 && code <= 0x9FFC) ? 0x8140 : 0xC140;
    return ((code >> 8) * 0xC0 + (code & 0xFF)) & 0x1FFF;
}

void CQR_Encode::GetRSCodeWord(std::uint8_t* work, int dataCount, int checkCount)
{
    // Long division by the generator: after the loop the last checkCount
    // bytes of the work area hold the remainder, the check codewords.
    const std::uint8_t* generator = byRSExp.exps[checkCount];
    for (int i = 0; i < dataCount; ++i) {
        if (work[i] == 0)
            continue;
        const int factor = byIntToExp[work[i]];
        std::uint8_t* target = work + i + 1;
        for (int j = 0; j < checkCount; ++j)
            target[j] ^= byExpToInt[generator[j] + factor];
    }
}

void CQR_Encode::InterleaveCodeWords()
{
    const VersionInfo& info = QR_VersonInfo[version];
    const RSBlockGroup& group1 = info.group1[level];
    const RSBlockGroup& group2 = info.group2[level];
    const int blocks = group1.blockCount + group2.blockCount;
    const int shortData = group1.dataCodeWordsPerBlock;
    const int dataTotal = info.dataCodeWords[level];
    const int checkCount = group1.codeWordsPerBlock - group1.dataCodeWordsPerBlock;
    allCodeWordCount = info.allCodeWords;

    int start = 0;
    for (int block = 0; block < blocks; ++block) {
        const int dataCount = block < group1.blockCount ? shortData : group2.dataCodeWordsPerBlock;
        // Codeword k of every block in block order; the extra last codeword
        // of the longer blocks comes after all the others.
        for (int k = 0; k < dataCount; ++k) {
            const int position = k < shortData ? k * blocks + block : shortData * blocks + (block - group1.blockCount);
            allCodeWord[position] = dataCodeWord[start + k];
        }
        std::memset(rsWork, 0, sizeof rsWork);
        std::memcpy(rsWork, dataCodeWord + start, static_cast<std::size_t>(dataCount));
        GetRSCodeWord(rsWork, dataCount, checkCount);
        for (int k = 0; k < checkCount; ++k)
            allCodeWord[dataTotal + k * blocks + block] = rsWork[dataCount + k];
        start += dataCount;
    }
}

void CQR_Encode::FormatModule()
{
    std::memset(module, 0, sizeof module);
    SetFunctionModule();
    SetCodeWordPattern();

    if (maskingNumber == -1) {
        // Every mask is scored with its own format information; a later mask
        // wins only with a strictly smaller penalty.
        int bestPenalty = INT_MAX;
        for (int pattern = 0; pattern < 8; ++pattern) {
            SetMaskingPattern(pattern);
            SetFormatInfoPattern(pattern);
            const int penalty = CountPenalty();
            if (penalty < bestPenalty) {
                bestPenalty = penalty;
                maskingNumber = pattern;
            }
        }
    }
    SetMaskingPattern(maskingNumber);
    SetFormatInfoPattern(maskingNumber);

    for (int x = 0; x < symbolSize; ++x) {
        for (int y = 0; y < symbolSize; ++y)
            module[x][y] = (module[x][y] & kDarkBits) ? 1 : 0;
    }
}

void CQR_Encode::SetFunctionModule()
{
    const int size = symbolSize;
    SetFinderPattern(0, 0);
    SetFinderPattern(size - 7, 0);
    SetFinderPattern(0, size - 7);

    // Separators around the finders and the reserved format areas.
    for (int i = 0; i < 8; ++i) {
        module[i][7] = module[7][i] = kFunction;
        module[size - 8][i] = module[size - 8 + i][7] = kFunction;
        module[i][size - 8] = module[7][size - 8 + i] = kFunction;
    }
    for (int i = 0; i < 9; ++i)
        module[i][8] = module[8][i] = kFunction;
    for (int i = 0; i < 8; ++i)
        module[size - 8 + i][8] = module[8][size - 8 + i] = kFunction;

    if (version >= 7)
        SetVersionPattern();

    // Alignment patterns at every pairing of 6 and the version's
    // coordinates, except where the centre lies on a finder pattern.
    const VersionInfo& info = QR_VersonInfo[version];
    const auto placeAlignment = [&](int x, int y) {
        if (!(module[x][y] & kFunction))
            SetAlignmentPattern(x, y);
    };
    for (int a = 0; a < info.alignPointCount; ++a) {
        placeAlignment(info.alignPoint[a], 6);
        placeAlignment(6, info.alignPoint[a]);
        for (int b = 0; b < info.alignPointCount; ++b)
            placeAlignment(info.alignPoint[a], info.alignPoint[b]);
    }

    for (int i = 8; i <= size - 9; ++i)
        module[i][6] = module[6][i] = (i % 2 == 0) ? kFunctionDark : kFunction;
}

void CQR_Encode::SetFinderPattern(int x, int y)
{
    for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 7; ++column)
            module[x + column][y + row] = ((kFinderRows[row] >> (6 - column)) & 1) ? kFunctionDark : kFunction;
    }
}

void CQR_Encode::SetAlignmentPattern(int x, int y)
{
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 5; ++column)
            module[x - 2 + column][y - 2 + row] = ((kAlignmentRows[row] >> (4 - column)) & 1) ? kFunctionDark : kFunction;
    }
}

void CQR_Encode::SetVersionPattern()
{
    // The 6-bit version followed by its BCH(18,6) remainder.
    int remainder = version << 12;
    for (int bit = 17; bit >= 12; --bit) {
        if (remainder & (1 << bit))
            remainder ^= 0x1F25 << (bit - 12);
    }
    const int information = (version << 12) | remainder;
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 3; ++j) {
            const std::uint8_t code = ((information >> (3 * i + j)) & 1) ? kFunctionDark : kFunction;
            module[i][symbolSize - 11 + j] = code;
            module[symbolSize - 11 + j][i] = code;
        }
    }
}

void CQR_Encode::SetCodeWordPattern()
{
    // Two-module-wide columns from the right, alternately upward and
    // downward, the right module before the left; column 6 (timing) is
    // skipped. Modules left after the last codeword stay light.
    const int size = symbolSize;
    const int totalBits = allCodeWordCount * 8;
    int bit = 0;
    for (int right = size - 1; right >= 1; right -= 2) {
        if (right == 6)
            right = 5;
        const bool upward = ((right + 1) & 2) == 0;
        for (int step = 0; step < size; ++step) {
            const int y = upward ? size - 1 - step : step;
            for (int x = right; x >= right - 1; --x) {
                if (module[x][y] & kFunction)
                    continue;
                if (bit < totalBits)
                    module[x][y] = static_cast<std::uint8_t>(((allCodeWord[bit >> 3] >> (7 - (bit & 7))) & 1) * kDataPlaced);
                ++bit;
            }
        }
    }
}

namespace {

// The standard's data mask conditions, i the row and j the column.
template <int Pattern>
inline bool MaskCondition(int i, int j)
{
    if constexpr (Pattern == 0)
        return (i + j) % 2 == 0;
    else if constexpr (Pattern == 1)
        return i % 2 == 0;
    else if constexpr (Pattern == 2)
        return j % 3 == 0;
    else if constexpr (Pattern == 3)
        return (i + j) % 3 == 0;
    else if constexpr (Pattern == 4)
        return ((i / 2) + (j / 3)) % 2 == 0;
    else if constexpr (Pattern == 5)
        return (i * j) % 2 + (i * j) % 3 == 0;
    else if constexpr (Pattern == 6)
        return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    else
        return ((i * j) % 3 + (i + j) % 2) % 2 == 0;
}

template <int Pattern>
void ApplyMask(std::uint8_t (*module)[QR_MAX_MODULESIZE], int size)
{
    // Every condition depends on the column only through j mod 6: one row
    // of mask bits per class of columns, then a branch-free pass.
    std::uint8_t flips[6][QR_MAX_MODULESIZE];
    for (int j = 0; j < 6; ++j) {
        for (int i = 0; i < size; ++i)
            flips[j][i] = MaskCondition<Pattern>(i, j) ? 1 : 0;
    }
    for (int x = 0; x < size; ++x) {
        std::uint8_t* column = module[x];
        const std::uint8_t* flip = flips[x % 6];
        for (int y = 0; y < size; ++y) {
            const std::uint8_t code = column[y];
            const std::uint8_t masked = static_cast<std::uint8_t>((code & 0xFE) | (((code >> 1) ^ flip[y]) & 1));
            column[y] = (code & kFunction) ? code : masked;
        }
    }
}

// One line of modules as bits, dark = 1: bit p holds module p. W words
// hold the line and at least four more bits, which stay 0 (light), so the
// patterns that look four modules past the end need no special case.
template <int W>
struct LineBits {
    std::uint64_t w[W];
};

template <int W>
inline LineBits<W> operator&(const LineBits<W>& a, const LineBits<W>& b)
{
    LineBits<W> r;
    for (int i = 0; i < W; ++i)
        r.w[i] = a.w[i] & b.w[i];
    return r;
}

template <int W>
inline LineBits<W> operator|(const LineBits<W>& a, const LineBits<W>& b)
{
    LineBits<W> r;
    for (int i = 0; i < W; ++i)
        r.w[i] = a.w[i] | b.w[i];
    return r;
}

template <int W>
inline LineBits<W> operator^(const LineBits<W>& a, const LineBits<W>& b)
{
    LineBits<W> r;
    for (int i = 0; i < W; ++i)
        r.w[i] = a.w[i] ^ b.w[i];
    return r;
}

template <int W>
inline LineBits<W> operator~(const LineBits<W>& a)
{
    LineBits<W> r;
    for (int i = 0; i < W; ++i)
        r.w[i] = ~a.w[i];
    return r;
}

// Bit p of the result is bit p - s of a (0 < s < 64): the module s before;
// fill (0 or all ones) stands for the modules before the line.
template <int W>
inline LineBits<W> Before(const LineBits<W>& a, int s, std::uint64_t fill = 0)
{
    LineBits<W> r;
    r.w[0] = (a.w[0] << s) | (fill & ((std::uint64_t{1} << s) - 1));
    for (int i = 1; i < W; ++i)
        r.w[i] = (a.w[i] << s) | (a.w[i - 1] >> (64 - s));
    return r;
}

// Bit p of the result is bit p + s of a (0 < s < 64): the module s after.
template <int W>
inline LineBits<W> After(const LineBits<W>& a, int s)
{
    LineBits<W> r;
    for (int i = 0; i + 1 < W; ++i)
        r.w[i] = (a.w[i] >> s) | (a.w[i + 1] << (64 - s));
    r.w[W - 1] = a.w[W - 1] >> s;
    return r;
}

// Set bits of a word, without relying on a processor instruction.
inline int PopCount(std::uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((x * 0x0101010101010101ull) >> 56);
}

template <int W>
inline int Count(const LineBits<W>& a)
{
    int count = 0;
    for (int i = 0; i < W; ++i)
        count += PopCount(a.w[i]);
    return count;
}

// Bits first to last set.
template <int W>
inline LineBits<W> BitRange(int first, int last)
{
    LineBits<W> bits{};
    for (int p = first; p <= last; ++p)
        bits.w[p >> 6] |= std::uint64_t{1} << (p & 63);
    return bits;
}

constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};

// Runs and finder-like patterns of one line. insidePairs marks the modules
// 1 to size-1 (those with a module before them in the line). Modules
// outside the line count as light.
template <int W>
int LinePenalty(const LineBits<W>& dark, const LineBits<W>& insidePairs)
{
    const LineBits<W> light = ~dark;

    // A run of n >= 5 equal modules has n - 1 equal neighbours in a row; the
    // positions ending four of them in a row number n - 4, their runs one
    // each, which makes n - 2.
    const LineBits<W> equal = ~(dark ^ Before(dark, 1)) & insidePairs;
    const LineBits<W> four = equal & Before(equal, 1) & Before(equal, 2) & Before(equal, 3);
    const int runs = Count(four) + 2 * Count(four & ~Before(four, 1));

    // Dark, light, dark, dark, dark, light, dark starting at the bit, light
    // on both sides, and four light modules before it or after it.
    const LineBits<W> pattern = dark & After(light, 1) & After(dark, 2) & After(dark, 3) & After(dark, 4)
        & After(light, 5) & After(dark, 6) & Before(light, 1, kAllOnes) & After(light, 7);
    const LineBits<W> lightBefore = Before(light, 2, kAllOnes) & Before(light, 3, kAllOnes) & Before(light, 4, kAllOnes);
    const LineBits<W> lightAfter = After(light, 8) & After(light, 9) & After(light, 10);
    return runs + 40 * Count(pattern & (lightBefore | lightAfter));
}

// Eight modules from their codes: bit k is 1 when code k is dark.
inline std::uint64_t PackDark8(const std::uint8_t* codes)
{
    std::uint64_t v;
    std::memcpy(&v, codes, sizeof v);
    // Dark bits 0x01 and 0x10 onto bit 0 of each byte, then the eight
    // byte-bits gathered into the top byte by one multiplication.
    v = (v | (v >> 4)) & 0x0101010101010101ull;
    return (v * 0x0102040810204080ull) >> 56;
}

// Transposes an 8 x 8 bit matrix held as eight bytes (byte i = row i,
// bit j = column j).
inline std::uint64_t Transpose8(std::uint64_t x)
{
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x ^= t ^ (t << 28);
    return x;
}

} // namespace

void CQR_Encode::SetMaskingPattern(int pattern)
{
    switch (pattern) {
    case 0: ApplyMask<0>(module, symbolSize); break;
    case 1: ApplyMask<1>(module, symbolSize); break;
    case 2: ApplyMask<2>(module, symbolSize); break;
    case 3: ApplyMask<3>(module, symbolSize); break;
    case 4: ApplyMask<4>(module, symbolSize); break;
    case 5: ApplyMask<5>(module, symbolSize); break;
    case 6: ApplyMask<6>(module, symbolSize); break;
    default: ApplyMask<7>(module, symbolSize); break;
    }
}

void CQR_Encode::SetFormatInfoPattern(int pattern)
{
    // Level and mask, the BCH(15,5) remainder, then the fixed XOR pattern;
    // bit 14 is the most significant.
    const int data = (kLevelFormatBits[level] << 3) | pattern;
    int remainder = data << 10;
    for (int bit = 14; bit >= 10; --bit) {
        if (remainder & (1 << bit))
            remainder ^= 0x537 << (bit - 10);
    }
    const int information = ((data << 10) | remainder) ^ 0x5412;
    const auto code = [&](int bit) { return ((information >> bit) & 1) ? kFunctionDark : kFunction; };
    const int size = symbolSize;

    // Around the top-left finder: bits 0-7 down column 8 (skipping the
    // timing row), bits 8-14 leftward along row 8 (skipping the timing column).
    for (int bit = 0; bit <= 5; ++bit)
        module[8][bit] = code(bit);
    module[8][7] = code(6);
    module[8][8] = code(7);
    module[7][8] = code(8);
    for (int bit = 9; bit <= 14; ++bit)
        module[14 - bit][8] = code(bit);

    // The second copy: bits 0-7 along row 8 from the right edge, bits 8-14
    // down column 8 below the bottom-left finder, and the dark module.
    for (int bit = 0; bit <= 7; ++bit)
        module[size - 1 - bit][8] = code(bit);
    for (int bit = 8; bit <= 14; ++bit)
        module[8][size - 15 + bit] = code(bit);
    module[8][size - 8] = kFunctionDark;
}

namespace {

// The four penalty terms of a matrix of module codes, with each line held
// in W words.
template <int W>
int PenaltyOfCodes(const std::uint8_t (*module)[QR_MAX_MODULESIZE], int size)
{
    const int byteCount = (size + 7) / 8;

    // Columns as bits, eight modules at a time (dark = a code with a bit of
    // 0x11).
    LineBits<W> columns[QR_MAX_MODULESIZE];
    for (int x = 0; x < size; ++x) {
        const std::uint8_t* codes = module[x];
        columns[x] = {};
        for (int k = 0; k < byteCount; ++k) {
            std::uint64_t bits = 0;
            if (8 * k + 8 <= size) {
                bits = PackDark8(codes + 8 * k);
            } else {
                for (int y = 8 * k; y < size; ++y)
                    bits |= std::uint64_t{(codes[y] & kDarkBits) != 0} << (y - 8 * k);
            }
            columns[x].w[k >> 3] |= bits << ((k & 7) * 8);
        }
    }
    // Rows from the columns by 8 x 8 bit transposes.
    LineBits<W> rows[QR_MAX_MODULESIZE];
    for (int y = 0; y < size; ++y)
        rows[y] = {};
    for (int bx = 0; bx < byteCount; ++bx) {
        for (int by = 0; by < byteCount; ++by) {
            std::uint64_t block = 0;
            for (int i = 0; i < 8 && 8 * bx + i < size; ++i)
                block |= ((columns[8 * bx + i].w[by >> 3] >> ((by & 7) * 8)) & 0xFF) << (8 * i);
            block = Transpose8(block);
            for (int j = 0; j < 8 && 8 * by + j < size; ++j)
                rows[8 * by + j].w[bx >> 3] |= ((block >> (8 * j)) & 0xFF) << ((bx & 7) * 8);
        }
    }

    const LineBits<W> insidePairs = BitRange<W>(1, size - 1);
    const LineBits<W> blockTops = BitRange<W>(0, size - 2);
    int penalty = 0;
    int darkCount = 0;
    for (int i = 0; i < size; ++i) {
        penalty += LinePenalty(columns[i], insidePairs) + LinePenalty(rows[i], insidePairs);
        darkCount += Count(columns[i]);
    }

    // 2 x 2 blocks of one colour, column by column with its neighbour.
    for (int x = 0; x + 1 < size; ++x) {
        const LineBits<W>& left = columns[x];
        const LineBits<W>& right = columns[x + 1];
        const LineBits<W> dark = left & right & After(left, 1) & After(right, 1);
        const LineBits<W> light = ~(left | right | After(left, 1) | After(right, 1)) & blockTops;
        penalty += 3 * (Count(dark) + Count(light));
    }

    // Balance of light and dark.
    const int lightCount = size * size - darkCount;
    const int lightPercent = lightCount * 100 / (size * size);
    penalty += (std::abs(50 - lightPercent) / 5) * 10;
    return penalty;
}

} // namespace

int CQR_Encode::CountPenalty() const
{
    // As few 64-bit words per line as hold the line and four light modules
    // after it.
    if (symbolSize + 4 <= 64)
        return PenaltyOfCodes<1>(module, symbolSize);
    if (symbolSize + 4 <= 128)
        return PenaltyOfCodes<2>(module, symbolSize);
    return PenaltyOfCodes<3>(module, symbolSize);
}
