#include "QREncoder.h"
#include "QRImage.h"
#include "QR_Encode.h"
#include "ZbarDecoder.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kPairing = "192.168.1.20^_7";

std::vector<std::string> DecodeMatrix(const DataMatrix& matrix)
{
    return ZbarDecoder::DecodeModules(matrix.dimension(), [&](int x, int y) { return matrix.valueAt(x, y) == 1; });
}

// The pairing text as a matrix of the given version (forced).
std::unique_ptr<DataMatrix> MatrixOfVersion(int version)
{
    return QREncoder::encodeCStringWithECLevel(0, version, kPairing.c_str());
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

// Checks every pixel of a rendered image against the module grid: p pixels
// per module starting at offset, the outside colour elsewhere.
void ExpectGeometry(const QImage& image, const DataMatrix& matrix, int p, int offset, const std::vector<int>& outside)
{
    const int n = matrix.dimension();
    for (int py = 0; py < image.height(); ++py) {
        for (int px = 0; px < image.width(); ++px) {
            const int x = px - offset;
            const int y = py - offset;
            const bool inside = x >= 0 && y >= 0 && x < p * n && y < p * n;
            const std::vector<int>& expected = !inside ? outside : matrix.valueAt(x / p, y / p) ? kDark : kLight;
            ASSERT_EQ(PixelBytes(image, px, py), expected) << "pixel " << px << ", " << py;
        }
    }
}

} // namespace

// --- Encoding ---

TEST(QREncoderEncode, Utf8TextInTheSmallestVersionOrTheOneAskedFor)
{
    for (const QString& text : {QString::fromStdString(kPairing), QStringLiteral("使用手机进行扫码连接"),
                                QStringLiteral("Grüße, café — ✓")}) {
        const std::unique_ptr<DataMatrix> matrix = QREncoder::encodeWithECLevel(0, -1, text);
        ASSERT_NE(matrix, nullptr);
        EXPECT_EQ(DecodeMatrix(*matrix), std::vector<std::string>{text.toUtf8().toStdString()});
    }
    const std::unique_ptr<DataMatrix> pairing = QREncoder::encodeCStringWithECLevel(0, -1, kPairing.c_str());
    const std::unique_ptr<DataMatrix> larger = QREncoder::encodeCStringWithECLevel(3, 7, kPairing.c_str());
    // Too much for version 2 at level H: the version grows.
    const std::string text(60, 'x');
    const std::unique_ptr<DataMatrix> grown = QREncoder::encodeCStringWithECLevel(3, 2, text.c_str());
    ASSERT_TRUE(pairing && larger && grown);
    EXPECT_EQ(pairing->dimension(), 21);
    EXPECT_EQ(larger->dimension(), 45);
    EXPECT_GT(grown->dimension(), 25);
    EXPECT_EQ(DecodeMatrix(*grown), std::vector<std::string>{text});
    // No matrix for text that cannot be encoded.
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(0, -1, ""), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(0, -1, nullptr), nullptr);
    EXPECT_EQ(QREncoder::encodeWithECLevel(0, -1, QString()), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(0, -1, std::string(2954, 'x').c_str()), nullptr);
    EXPECT_EQ(QREncoder::encodeCStringWithECLevel(7, -1, "A"), nullptr);
}

TEST(QREncoderEncode, CellsAreTheEncoderModulesByColumnAndRow)
{
    // An asymmetric symbol: a swap of x and y would show.
    const char* text = "https://example.org/pairing?host=192.168.1.20";
    const std::unique_ptr<DataMatrix> matrix = QREncoder::encodeCStringWithECLevel(1, 0, text);
    auto encoder = std::make_unique<CQR_Encode>();
    ASSERT_NE(matrix, nullptr);
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

TEST(QREncoderEncode, CallsFromManyThreadsDoNotInterfere)
{
    std::vector<std::unique_ptr<DataMatrix>> results[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &results] {
            for (int i = 0; i < 20; ++i)
                results[t].push_back(QREncoder::encodeCStringWithECLevel(0, -1, ("10.0.0." + std::to_string(t)).c_str()));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        for (const std::unique_ptr<DataMatrix>& matrix : results[t]) {
            ASSERT_NE(matrix, nullptr);
            EXPECT_EQ(DecodeMatrix(*matrix), std::vector<std::string>{"10.0.0." + std::to_string(t)});
        }
    }
}

// --- The RGBA image ---

TEST(QREncoderRender, WholePixelModulesWithTheLeftoverAsATransparentMargin)
{
    const struct {
        int version, pixels, p, offset;
    } cases[] = {
        {3, 300, 10, 5}, // 29 modules: 10 pixels leftover, five on each side
        {1, 300, 14, 3}, // 21 modules: 6 pixels leftover
        {1, 64, 3, 0},   // an odd leftover: the smaller half goes to top and left
        {1, 210, 10, 0}, // an exact multiple: no margin
        {1, 21, 1, 0},   // one pixel per module
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " at " + std::to_string(c.pixels) + " pixels");
        const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(c.version);
        ASSERT_NE(matrix, nullptr);
        const QImage image = QRImage::renderDataMatrix(*matrix, c.pixels);
        ASSERT_EQ(image.size(), QSize(c.pixels, c.pixels));
        EXPECT_EQ(image.format(), QImage::Format_RGBA8888);
        EXPECT_EQ(image.bytesPerLine(), 4 * c.pixels);
        ExpectGeometry(image, *matrix, c.p, c.offset, kMargin);
    }
}

TEST(QREncoderRender, NoImageBelowTheMatrixSizeOrForAnEmptyMatrix)
{
    const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(1);
    ASSERT_NE(matrix, nullptr);
    for (const int pixels : {20, 0, -300})
        EXPECT_TRUE(QRImage::renderDataMatrix(*matrix, pixels).isNull()) << pixels;
    EXPECT_TRUE(QRImage::renderDataMatrix(DataMatrix(0), 300).isNull());
    EXPECT_TRUE(QRImage::renderWithQuietZone(DataMatrix(0), 300).isNull());
    EXPECT_TRUE(QRImage::renderWithQuietZone(*matrix, 28).isNull()); // 21 modules and a quiet zone of 4
    EXPECT_EQ(QREncoder::renderTerminal(DataMatrix(0)), "");
}

// --- The opaque image with a quiet zone ---

TEST(QREncoderQuietZone, OpaqueWhiteAroundACentredSymbolOfTheLargestModules)
{
    const struct {
        int version, pixels, quiet;
    } cases[] = {{1, 300, 4}, {20, 300, 4}, {40, 300, 4}, {1, 29, 4}, {1, 21, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " at " + std::to_string(c.pixels) + " pixels");
        const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(c.version);
        ASSERT_NE(matrix, nullptr);
        const int n = matrix->dimension();
        const QImage image = QRImage::renderWithQuietZone(*matrix, c.pixels, c.quiet);
        ASSERT_EQ(image.size(), QSize(c.pixels, c.pixels));
        // The symbol starts with the dark top row of a finder, 7 modules long.
        int offset = 0;
        int p = 0;
        while (offset < c.pixels && PixelBytes(image, offset, offset) != kDark)
            ++offset;
        while (offset + p < c.pixels && PixelBytes(image, offset + p, offset) == kDark)
            ++p;
        p /= 7;
        ASSERT_GT(p, 0);
        ExpectGeometry(image, *matrix, p, offset, kLight);
        // Centred, with at least the quiet zone of white on each side, and
        // the largest modules that allow this.
        const int after = c.pixels - offset - p * n;
        EXPECT_GE(std::min(offset, after), c.quiet * p);
        EXPECT_LE(std::abs(offset - after), 1);
        EXPECT_GT((n + 2 * c.quiet) * (p + 1), c.pixels);
        if (p > 1) {
            EXPECT_EQ(ZbarDecoder::DecodeImage(image), std::vector<std::string>{kPairing});
        }
    }
}

// --- Terminal text ---

namespace {

// What a terminal with the given default colours shows for text: a cell is
// 4 pixels wide and 8 high (two square halves), the text starts two cells in.
// Knows the reset (0) and black on white from the 256-colour palette
// ("38;5;16;48;5;231"); any other colour code fails the test.
QImage TerminalScreen(const std::string& text, QRgb foreground, QRgb background)
{
    QImage screen(4 * 90, 8 * 45, QImage::Format_RGB32);
    screen.fill(background);
    QPainter painter(&screen);
    QRgb fg = foreground, bg = background;
    for (std::size_t i = 0, x = 2, y = 2; i < text.size();) {
        if (text[i] == '\x1b') {
            const std::size_t end = text.find('m', i);
            const std::string codes = text.substr(i + 2, end - i - 2);
            EXPECT_TRUE(codes == "0" || codes == "38;5;16;48;5;231") << "colour codes " << codes;
            fg = codes == "0" ? foreground : qRgb(0, 0, 0);
            bg = codes == "0" ? background : qRgb(255, 255, 255);
            i = end + 1;
        } else if (text[i] == '\n') {
            EXPECT_TRUE(fg == foreground && bg == background) << "colours still set at a line end";
            x = 2, ++y, ++i;
        } else {
            const std::string glyph = text.substr(i, text[i] == ' ' ? 1 : 3);
            EXPECT_TRUE(glyph == " " || glyph == "\u2580" || glyph == "\u2584" || glyph == "\u2588") << glyph;
            const int left = static_cast<int>(4 * x), top = static_cast<int>(8 * y);
            painter.fillRect(left, top, 4, 4, QColor(glyph == "\u2580" || glyph == "\u2588" ? fg : bg));
            painter.fillRect(left, top + 4, 4, 4, QColor(glyph == "\u2584" || glyph == "\u2588" ? fg : bg));
            i += glyph.size(), ++x;
        }
    }
    return screen;
}

} // namespace

TEST(QREncoderTerminal, HalfBlocksInBlackOnWhiteScanOnLightAndDarkTerminals)
{
    for (const int version : {1, 12}) {
        const std::unique_ptr<DataMatrix> matrix = MatrixOfVersion(version);
        ASSERT_NE(matrix, nullptr);
        const std::string text = QREncoder::renderTerminal(*matrix);
        // Four module rows of quiet zone: two lines of white cells.
        const std::string blank = "\x1b[38;5;16;48;5;231m" + std::string(matrix->dimension() + 8, ' ') + "\x1b[0m\n";
        EXPECT_EQ(text.substr(0, 2 * blank.size()), blank + blank);
        // Black text on white, and light grey on dark grey.
        for (const auto& [foreground, background] : {std::pair(qRgb(0, 0, 0), qRgb(255, 255, 255)),
                                                     std::pair(qRgb(229, 229, 229), qRgb(30, 30, 30))}) {
            EXPECT_EQ(ZbarDecoder::DecodeImage(TerminalScreen(text, foreground, background)),
                      std::vector<std::string>{kPairing})
                << "version " << version << " on background " << std::hex << background;
        }
    }
}
