// The thumbnail of a 4000 × 3000 JPEG over loopback, against ImageMagick at
// its best: `convert -define jpeg:size=160x160 big.jpg -thumbnail 80x80
// -quality 80 out.jpg`.
#include "BenchTools.h"
#include "FreePort.h"
#include "InProcessServer.h"

#include "CData.h"
#include "SRequest.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QImage>
#include <cmath>
#include <filesystem>
#include <random>

namespace {

// Smooth colour fields with fine grain, like a photograph.
QImage PhotoLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(42);
    std::normal_distribution<float> grain(0.0f, 8.0f);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width);
            const float v = static_cast<float>(y) / static_cast<float>(height);
            const float r = 120 + 90 * std::sin(3.1f * u + 1.3f * v) + grain(random);
            const float g = 110 + 80 * std::sin(2.3f * v - 1.7f * u + 0.5f) + grain(random);
            const float b = 100 + 70 * std::cos(4.1f * u * v + 0.3f) + grain(random);
            line[x] = qRgb(std::clamp(static_cast<int>(r), 0, 255), std::clamp(static_cast<int>(g), 0, 255),
                           std::clamp(static_cast<int>(b), 0, 255));
        }
    }
    return image;
}

} // namespace

int main()
{
    BenchTools::QuietServiceLogs();
    char pattern[] = "/tmp/corvane-thumbnail-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const std::string big = folder + "/big.jpg";
    const std::string out = folder + "/out.jpg";
    if (!PhotoLike(4000, 3000).save(QString::fromStdString(big), "JPEG", 90))
        throw std::runtime_error("cannot write the test picture");
    std::fprintf(BenchTools::Out(), "picture: 4000x3000 JPEG of %ju bytes\n", static_cast<std::uintmax_t>(std::filesystem::file_size(big)));

    InProcessServer service;
    std::string thumbnail;
    const auto ours = [&] {
        SRequest client;
        client.SetInfo("127.0.0.1", service.port(), 10);
        CData reply;
        if (client.SendRequest("OpKey_GetFileIcon", big.c_str(), &reply) != NR_OK)
            throw std::runtime_error("thumbnail request failed");
        thumbnail.assign(reply.Text());
    };
    const auto convert = [&] {
        BenchTools::Run({"/usr/bin/convert", "-define", "jpeg:size=160x160", big, "-thumbnail", "80x80", "-quality", "80",
                    out});
    };

    ours();
    convert();
    const QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(thumbnail.data()),
                                            static_cast<int>(thumbnail.size()));
    std::fprintf(BenchTools::Out(), "thumbnail: %dx%d, %zu bytes\n", picture.width(), picture.height(), thumbnail.size());
    const double anchor = BenchTools::Median(11, convert);
    const double mine = BenchTools::Median(11, ours);
    BenchTools::Report("thumbnail of a 4000x3000 JPEG", mine * 1000, anchor * 1000, "ms", "convert -define jpeg:size=160x160 -thumbnail 80x80 -quality 80", "<= 0.5");

    std::filesystem::remove_all(folder);
    return 0;
}
