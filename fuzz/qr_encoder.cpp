// The QR encoder with long inputs: the first byte chooses the level, the
// second the version (0 for the smallest that fits), the rest is the text.
// Checks that a text within the capacity of version 40 is always encoded,
// that a symbol has the size of its version, at least the version asked
// for, and its three finder patterns.
#include "FuzzCheck.h"
#include "QR_Encode.h"

#include <cstdint>
#include <memory>

namespace {

// Bytes in 8-bit mode that version 40 holds at levels L, M, Q and H: any
// text up to these fits, whatever its bytes.
constexpr int kByteCapacity[4] = {2953, 2331, 1663, 1273};

bool FinderAt(const CQR_Encode& symbol, int left, int top)
{
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
            const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            if (symbol.Module(left + x, top + y) != ((ring || core) ? 1 : 0))
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3 || size > 8192)
        return 0;
    const int level = data[0] & 3;
    const int version = data[1] % 41;
    const char* text = reinterpret_cast<const char*>(data + 2);
    const int length = static_cast<int>(size - 2);
    auto symbol = std::make_unique<CQR_Encode>();
    const bool encoded = symbol->EncodeData(level, version, true, -1, text, length);
    if (length <= kByteCapacity[level])
        FUZZ_CHECK(encoded);
    if (!encoded) {
        FUZZ_CHECK(symbol->SymbolSize() == 0);
        return 0;
    }
    const int side = symbol->SymbolSize();
    FUZZ_CHECK(side == 17 + 4 * symbol->Version() && symbol->Version() >= version && symbol->Version() <= 40);
    FUZZ_CHECK(symbol->Level() == level && symbol->MaskingNumber() >= 0 && symbol->MaskingNumber() <= 7);
    FUZZ_CHECK(FinderAt(*symbol, 0, 0) && FinderAt(*symbol, side - 7, 0) && FinderAt(*symbol, 0, side - 7));
    return 0;
}
