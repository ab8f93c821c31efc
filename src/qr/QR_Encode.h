#pragma once

#include <cstdint>

// Sizes of the encoder's own buffers: everything fits version 40.
constexpr int QR_MAX_MODULESIZE = 177;     // modules per side of version 40
constexpr int QR_MAX_DATACODEWORD = 2956;  // data codewords of version 40 at level L
constexpr int QR_MAX_ALLCODEWORD = 3706;   // all codewords of version 40
constexpr int QR_MAX_CODEBLOCK = 153;      // longest Reed-Solomon block (data + check)
constexpr int QR_MAX_BLOCKS = 2956;        // mode blocks the segmenter can hold
constexpr int QR_MAX_BITDATA = QR_MAX_DATACODEWORD * 8; // 23,648 bits

// Encodes a byte string as a QR Code Model 2 symbol (ISO/IEC 18004):
// versions 1 to 40, levels L, M, Q, H, numeric, alphanumeric, 8-bit and
// Shift-JIS Kanji segments, Reed-Solomon blocks, the eight data masks with
// automatic choice by penalty.
//
// The object works only in its fixed member buffers: encoding allocates
// nothing. It holds a whole 177 x 177 matrix and all codeword tables
// (about 53 KB), so callers usually create it on the heap.
class CQR_Encode {
public:
    enum Level { LevelL = 0, LevelM = 1, LevelQ = 2, LevelH = 3 };
    enum Mode : std::uint8_t { ModeNumeral = 0, ModeAlphabet = 1, Mode8Bit = 2, ModeKanji = 3 };

    CQR_Encode();
    ~CQR_Encode();

    // requestedLevel 0-3 (L, M, Q, H). requestedVersion 0: the smallest
    // that fits; 1-40: that version, or a larger one when the data needs it
    // and autoExtent is set (otherwise failure); negative: like 0 with
    // autoExtent, failure without.
    // masking -1 chooses the mask by penalty, 0-7 forces it.
    // sourceLength 0 or below: up to the first zero byte.
    // False when the input is empty or does not fit, or an argument is out of
    // range; the matrix is then left unset (SymbolSize() 0).
    bool EncodeData(int requestedLevel, int requestedVersion, bool autoExtent, int masking,
                    const char* source, int sourceLength = 0);

    // The result of the last successful encoding.
    int Level() const { return level; }
    int Version() const { return version; }
    int MaskingNumber() const { return maskingNumber; } // the mask used
    int SymbolSize() const { return symbolSize; }       // 4 x version + 17
    // 1 for a dark module at column x, row y; 0 for light.
    int Module(int x, int y) const { return module[x][y]; }
    // The segmentation that was written: bits before the terminator, and
    // the mode blocks with their lengths in input bytes.
    int DataBitCount() const { return dataBitCount; }
    int BlockCount() const { return blockCount; }
    int BlockMode(int index) const { return blockMode[index]; }
    int BlockLength(int index) const { return blockLength[index]; }
    // The penalty score of the symbol as it stands (what the automatic mask
    // choice compared).
    int Penalty() const { return CountPenalty(); }

private:
    int GetEncodeVersion(int wanted, const std::uint8_t* source, int length);
    bool EncodeSourceData(const std::uint8_t* source, int length, int versionGroup);
    int GetBitLength(int mode, int length, int versionGroup) const;
    int SetBitStream(int index, unsigned data, int length);
    void RemoveBlock(int index);

    static bool IsNumeralData(std::uint8_t c);
    static bool IsAlphabetData(std::uint8_t c);
    static bool IsKanjiData(std::uint8_t c1, std::uint8_t c2);
    static std::uint8_t AlphabetToBinaly(std::uint8_t c);
    static unsigned KanjiToBinaly(unsigned code);

    void GetRSCodeWord(std::uint8_t* work, int dataCount, int checkCount);
    void InterleaveCodeWords();

    void FormatModule();
    void SetFunctionModule();
    void SetFinderPattern(int x, int y);
    void SetAlignmentPattern(int x, int y);
    void SetVersionPattern();
    void SetCodeWordPattern();
    void SetMaskingPattern(int pattern);
    void SetFormatInfoPattern(int pattern);
    int CountPenalty() const;

    int level = 0;
    int version = 0;
    int maskingNumber = -1;
    int symbolSize = 0;
    // Indexed [x][y]: column, row, origin top left. While building:
    // 0x20 light function module, 0x30 dark function module, 0x02 dark data
    // bit as placed, bit 0x01 the data bit after masking. Finally 1 or 0.
    std::uint8_t module[QR_MAX_MODULESIZE][QR_MAX_MODULESIZE];

    int dataBitCount = 0;
    std::uint8_t dataCodeWord[QR_MAX_DATACODEWORD];

    int blockCount = 0;
    std::uint8_t blockMode[QR_MAX_BLOCKS];
    int blockLength[QR_MAX_BLOCKS];

    int allCodeWordCount = 0;
    std::uint8_t allCodeWord[QR_MAX_ALLCODEWORD];
    std::uint8_t rsWork[QR_MAX_CODEBLOCK];
};
