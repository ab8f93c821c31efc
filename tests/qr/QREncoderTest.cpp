#include "QREncoder.h"
#include "QR_Encode.h"
#include "ZbarDecoder.h"

#include <gtest/gtest.h>

#include <QColor>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> DecodeMatrix(const DataMatrix& matrix)
{
    return ZbarDecoder::DecodeModules(matrix.dimension(), [&](int x, int y) { return matrix.valueAt(x, y) == 1; });
}

// The R, G, B, A bytes of a pixel as stored.
std::vector<int> PixelBytes(const QImage& image, int x, int y)
{
    const uchar* pixel = image.constScanLine(y) + 4 * x;
    return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

const std::vector<int> kMargin = {255, 255, 255, 0};
const std::vector<int> kLight = {255, 255, 255, 255};
const std::vector<int> kDark = {0, 0, 0, 255};

// A matrix of the given version from the encoder (version forced).
std::unique_ptr<DataMatrix> MatrixOfVersion(int version)
{
    return QREncoder::encodeCStringWithECLevel(0, version, "192.168.1.20^_7");
}

// Checks every pixel of a rendered image against the module grid: p
// pixels per module starting at offset, margin elsewhere.
void ExpectGeometry(const QImage& image, const DataMatrix& matrix, int p, int offset)
{
    const int n = matrix.dimension();
    for (int py = 0; py < image.height(); ++py) {
        for (int px = 0; px < image.width(); ++px) {
            const int x = px - offset;
            const int y = py - offset;
            std::vector<int> expected = kMargin;
            if (x >= 0 && y >= 0 && x < p * n && y < p * n)
                expected = matrix.valueAt(x / p, y / p) ? kDark : kLight;
            ASSERT_EQ(PixelBytes(image, px, py), expected) << "pixel " << px << ", " << py;
        }
    }
}

} // namespace

// --- Encoding ---

TEST(QREncoderEncode, TextBecomesItsUtf8Bytes)
{
    const QString texts[] = {QStringLiteral("192.168.1.20^_7"), QStringLiteral("HELLO WORLD"),
                             QStringLiteral("使用手机进行扫码连接"), QStringLiteral("Grüße, café — ✓")};
    for (const QString& text : texts) {
        const std::unique_ptr<DataMatrix> matrix = QREncoder::encodeWithECLevel(0, -1, text);
        ASSERT_NE(matrix, nullptr);
        const std::vector<std::string> decoded = DecodeMatrix(*matrix);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], text.toUtf8().toStdString());
    }
}

TEST(QREncoderEncode, SmallestVersionOrTheOneAskedFor)
{
    const std::unique_ptr<DataMatrix> pairing = QREncoder::encodeCStringWithECLevel(0, -1, "192.168.1.20^_7");
    ASSERT_NE(pairing, nullptr);
    EXPECT_EQ(pairing->dimension(), 21);
    const std::unique_ptr<DataMatrix> larger = QREncoder::encodeCStringWithECLevel(3, 7, "192.168.1.20^_7");
    ASSERT_NE(larger, nullptr);
    EXPECT_EQ(larger->dimension(), 45);
    // Too much for version 2 at level H: the version grows.
    const std::string text(60, 'x');
    const std::unique_ptr<DataMatrix> grown = QREncoder::encodeCStringWithECLevel(3, 2, text.c_str());
    ASSERT_NE(grown, nullptr);
    EXPECT_GT(grown->dimension(), 25);
    const std::vector<std::string> decoded = DecodeMatrix(*grown);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], text);
}

TEST(QREncoderEncode, CellsAreTheEncoderModulesByColumnAndRow)
{
    // An asymmetric symbol: a swap of x and y would show.
    const char* text = "https://example.org/pairing?host=192.168.1.20";
    const std::unique_ptr<DataMatrix> matrix = QREncoder::encodeCStringWithECLevel(1, 0, text);
    ASSERT_NE(matrix, nullptr);
    auto encoder = std::make_unique<CQR_Encode>();
    ASSERT_TRUE(encoder->EncodeData(1, 0, true, -1, text, 0));
    ASSERT_EQ(matrix->dimension(), encoder->SymbolSize());
    int asymmetric = 0;
    for (int x = 0; x < matrix->dimension(); ++x) {
        for (int y = 0; y < matrix->dimension(); ++y) {
            ASSERT_EQ(matrix->valueAt(x, y), encoder->Module(x, y));
            asymmetric += encoder->Module(x, y) != encoder->Module(y, x);
        }
    }
    EXPECT_GT(asymmetric, 0);
}

TEST(QREncoderEncode, NoMatrixForTextThatCannotBeEncoded)
{
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(0, -1, ""), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(0, -1, nullptr), nullptr);
    EXPECT_EQ(QREncoder::encodeWithECLevel(0, -1, QString()), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(0, -1, std::string(2954, 'x').c_str()), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(3, -1, std::string(1274, 'x').c_str()), nullptr);
    EXPECT_NE(QREncoder::encodeCStringWithECLevel(3, -1, std::string(1273, 'x').c_str()), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(7, -1, "A"), nullptr);
}

TEST(QREncoderEncode, CallsFromManyThreadsDoNotInterfere)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 20;
    std::vector<std::vector<std::unique_ptr<DataMatrix>>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &results] {
            const std::string text = "10.0.0." + std::to_string(t) + "^_7";
            for (int i = 0; i < kRounds; ++i)
                results[t].push_back(QREncoder::encodeCStringWithECLevel(0, -1, text.c_str()));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(results[t].size(), static_cast<std::size_t>(kRounds));
        for (const std::unique_ptr<DataMatrix>& matrix : results[t]) {
            ASSERT_NE(matrix, nullptr);
            const std::vector<std::string> decoded = DecodeMatrix(*matrix);
            ASSERT_EQ(decoded.size(), 1u);
            EXPECT_EQ(decoded[0], "10.0.0." + std::to_string(t) + "^_7");
        }
    }
}

// --- The RGBA image ---

TEST(QREncoderRender, Version3At300PixelsHasTenPixelModulesAndFivePixelMargins)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(3);
    ASSERT_NE(matrix, nullptr);
    ASSERT_EQ(matrix->dimension(), 29);
    const QImage image = QREncoder::renderDataMatrix(*matrix, 300);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 300);
    EXPECT_EQ(image.height(), 300);
    EXPECT_EQ(image.format(), QImage::Format_RGBA8888);
    EXPECT_EQ(image.bytesPerLine(), 4 * 300);
    // The finder's dark corner starts right after the margin; the first
    // light ring of the finder is one module in.
    EXPECT_EQ(PixelBytes(image, 4, 4), kMargin);
    EXPECT_EQ(PixelBytes(image, 5, 5), kDark);
    EXPECT_EQ(PixelBytes(image, 14, 14), kDark);
    EXPECT_EQ(PixelBytes(image, 15, 15), kLight);
    EXPECT_EQ(PixelBytes(image, 294, 5), kDark);
    EXPECT_EQ(PixelBytes(image, 295, 5), kMargin);
    EXPECT_EQ(PixelBytes(image, 5, 295), kMargin);
    ExpectGeometry(image, *matrix, 10, 5);
}

TEST(QREncoderRender, Version1At300PixelsHasFourteenPixelModulesAndThreePixelMargins)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(1);
    ASSERT_NE(matrix, nullptr);
    const QImage image = QREncoder::renderDataMatrix(*matrix, 300);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(PixelBytes(image, 2, 2), kMargin);
    EXPECT_EQ(PixelBytes(image, 3, 3), kDark);
    EXPECT_EQ(PixelBytes(image, 16, 3), kDark);
    EXPECT_EQ(PixelBytes(image, 17, 17), kLight);
    ExpectGeometry(image, *matrix, 14, 3);
}

TEST(QREncoderRender, OddLeftoverGivesTheSmallerHalfToTopAndLeft)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(1);
    ASSERT_NE(matrix, nullptr);
    // 64 = 3 x 21 + 1: no top or left margin, one pixel at bottom and right.
    const QImage image = QREncoder::renderDataMatrix(*matrix, 64);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(PixelBytes(image, 0, 0), kDark);
    EXPECT_EQ(PixelBytes(image, 63, 0), kMargin);
    EXPECT_EQ(PixelBytes(image, 0, 63), kMargin);
    ExpectGeometry(image, *matrix, 3, 0);
}

TEST(QREncoderRender, ExactMultipleHasNoMargin)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(1);
    ASSERT_NE(matrix, nullptr);
    const QImage image = QREncoder::renderDataMatrix(*matrix, 210);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(PixelBytes(image, 0, 0), kDark);
    EXPECT_EQ(PixelBytes(image, 209, 0), kDark);
    EXPECT_EQ(PixelBytes(image, 0, 209), kDark);
    ExpectGeometry(image, *matrix, 10, 0);

    // One pixel per module at the matrix's own size.
    const QImage smallest = QREncoder::renderDataMatrix(*matrix, 21);
    ASSERT_FALSE(smallest.isNull());
    ExpectGeometry(smallest, *matrix, 1, 0);
}

TEST(QREncoderRender, NoImageBelowTheMatrixSizeOrForAnEmptyMatrix)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(1);
    ASSERT_NE(matrix, nullptr);
    EXPECT_TRUE(QREncoder::renderDataMatrix(*matrix, 20).isNull());
    EXPECT_TRUE(QREncoder::renderDataMatrix(*matrix, 0).isNull());
    EXPECT_TRUE(QREncoder::renderDataMatrix(*matrix, -300).isNull());
    EXPECT_TRUE(QREncoder::renderDataMatrix(DataMatrix(0), 300).isNull());
    EXPECT_TRUE(QREncoder::renderWithQuietZone(DataMatrix(0), 300).isNull());
    EXPECT_EQ(QREncoder::renderTerminal(DataMatrix(0)), "");
}

TEST(QREncoderRender, RenderedImageDecodesOverWhite)
{
    for (const int version : {1, 3, 10, 25}) {
        const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(version);
        ASSERT_NE(matrix, nullptr);
        // The margin is transparent; a light window background behind it
        // gives the scanner its quiet zone.
        QImage framed(420, 420, QImage::Format_RGBA8888);
        framed.fill(Qt::white);
        const QImage image = QREncoder::renderDataMatrix(*matrix, 300);
        for (int y = 0; y < 300; ++y) {
            for (int x = 0; x < 300; ++x) {
                const std::vector<int> p = PixelBytes(image, x, y);
                if (p[3] != 0)
                    framed.setPixelColor(x + 60, y + 60, QColor(p[0], p[1], p[2]));
            }
        }
        const std::vector<std::string> decoded = ZbarDecoder::DecodeImage(framed);
        ASSERT_EQ(decoded.size(), 1u) << "version " << version;
        EXPECT_EQ(decoded[0], "192.168.1.20^_7");
    }
}

// --- The opaque image with a quiet zone ---

TEST(QREncoderQuietZone, OpaqueWhiteAroundACentredSymbol)
{
    for (const int version : {1, 2, 5, 10, 20, 30, 40}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(version);
        ASSERT_NE(matrix, nullptr);
        const int n = matrix->dimension();
        const QImage image = QREncoder::renderWithQuietZone(*matrix, 300);
        ASSERT_FALSE(image.isNull());
        ASSERT_EQ(image.width(), 300);
        ASSERT_EQ(image.height(), 300);
        const int p = 300 / (n + 8);
        const int offset = (300 - p * n) / 2;
        EXPECT_GE(offset, 4 * p);
        EXPECT_GE(300 - offset - p * n, 4 * p);
        for (int py = 0; py < 300; ++py) {
            for (int px = 0; px < 300; ++px) {
                const int x = px - offset;
                const int y = py - offset;
                std::vector<int> expected = kLight;
                if (x >= 0 && y >= 0 && x < p * n && y < p * n && matrix->valueAt(x / p, y / p))
                    expected = kDark;
                ASSERT_EQ(PixelBytes(image, px, py), expected) << "pixel " << px << ", " << py;
            }
        }
        const std::vector<std::string> decoded = ZbarDecoder::DecodeImage(image);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], "192.168.1.20^_7");
    }
}

TEST(QREncoderQuietZone, NeedsAPixelForEveryModule)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(1);
    ASSERT_NE(matrix, nullptr);
    EXPECT_TRUE(QREncoder::renderWithQuietZone(*matrix, 28).isNull());
    const QImage tight = QREncoder::renderWithQuietZone(*matrix, 29);
    ASSERT_FALSE(tight.isNull());
    EXPECT_EQ(PixelBytes(tight, 3, 3), kLight);
    EXPECT_EQ(PixelBytes(tight, 4, 4), kDark);
    const QImage bare = QREncoder::renderWithQuietZone(*matrix, 21, 0);
    ASSERT_FALSE(bare.isNull());
    EXPECT_EQ(PixelBytes(bare, 0, 0), kDark);
}

// --- Terminal text ---

namespace {

// Reads terminal text back into rows of ink (true) and blank cells.
std::vector<std::vector<bool>> ReadHalfBlocks(const std::string& text)
{
    std::vector<std::vector<bool>> grid;
    std::vector<bool> top;
    std::vector<bool> bottom;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            grid.push_back(top);
            grid.push_back(bottom);
            top.clear();
            bottom.clear();
            ++i;
        } else if (text[i] == ' ') {
            top.push_back(false);
            bottom.push_back(false);
            ++i;
        } else {
            const std::string glyph = text.substr(i, 3);
            top.push_back(glyph == "\u2588" || glyph == "\u2580");
            bottom.push_back(glyph == "\u2588" || glyph == "\u2584");
            EXPECT_TRUE(glyph == "\u2588" || glyph == "\u2580" || glyph == "\u2584") << "unexpected character";
            i += 3;
        }
    }
    EXPECT_TRUE(top.empty()) << "text does not end with a line break";
    return grid;
}

} // namespace

TEST(QREncoderTerminal, HalfBlocksWithAQuietZoneScanOnADarkTerminal)
{
    for (const int version : {1, 4, 12}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(version);
        ASSERT_NE(matrix, nullptr);
        const int n = matrix->dimension();
        const int total = n + 8;
        const std::string text = QREncoder::renderTerminal(*matrix);
        const std::vector<std::vector<bool>> grid = ReadHalfBlocks(text);
        // Two module rows per line; the odd last half line is blank.
        ASSERT_EQ(static_cast<int>(grid.size()), total + 1);
        for (const std::vector<bool>& row : grid)
            ASSERT_EQ(static_cast<int>(row.size()), total);
        for (int x = 0; x < total; ++x)
            EXPECT_FALSE(grid[total][x]);
        // Ink is light: the quiet zone is ink, dark modules are blank.
        for (int y = 0; y < total; ++y) {
            for (int x = 0; x < total; ++x) {
                const bool inSymbol = x >= 4 && y >= 4 && x < n + 4 && y < n + 4;
                const bool expectedInk = !inSymbol || matrix->valueAt(x - 4, y - 4) == 0;
                ASSERT_EQ(grid[y][x], expectedInk) << x << ", " << y;
            }
        }
        // Light text on a dark background, as a terminal shows it.
        std::vector<std::uint8_t> grey;
        const int scale = 3;
        const int side = (total + 4) * scale;
        grey.assign(static_cast<std::size_t>(side) * side, 0);
        for (int y = 0; y < total; ++y) {
            for (int x = 0; x < total; ++x) {
                if (!grid[y][x])
                    continue;
                for (int dy = 0; dy < scale; ++dy) {
                    for (int dx = 0; dx < scale; ++dx)
                        grey[static_cast<std::size_t>((y + 2) * scale + dy) * side + (x + 2) * scale + dx] = 255;
                }
            }
        }
        const std::vector<std::string> decoded = ZbarDecoder::DecodeGrey(grey, side, side);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], "192.168.1.20^_7");
    }
}
