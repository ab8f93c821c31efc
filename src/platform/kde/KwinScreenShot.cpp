#include "KwinScreenShot.h"

#include "KdePermission.h"
#include "Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace {

// The picture's layout as KWin describes it; nothing when it is not one.
struct Layout {
    int width = 0;
    int height = 0;
    qsizetype stride = 0;
    QImage::Format format = QImage::Format_Invalid;
};

std::optional<Layout> Described(const QVariantMap& reply)
{
    constexpr int kMaxSide = 1 << 15;
    Layout layout{reply.value(QStringLiteral("width")).toInt(), reply.value(QStringLiteral("height")).toInt(),
                  reply.value(QStringLiteral("stride")).toLongLong(),
                  static_cast<QImage::Format>(reply.value(QStringLiteral("format")).toInt())};
    if (layout.width <= 0 || layout.height <= 0 || layout.width > kMaxSide || layout.height > kMaxSide ||
        layout.format <= QImage::Format_Invalid || layout.format >= QImage::NImageFormats ||
        layout.stride < layout.width || layout.stride > qsizetype{16} * kMaxSide)
        return std::nullopt;
    return layout;
}

} // namespace

QImage KwinScreenShot::grab()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return {};
    QDBusPendingCall call = [&] {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureWorkspace"));
        message << QVariantMap{{QStringLiteral("native-resolution"), true}}
                << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
        ::close(fds[1]);
        return QDBusConnection::sessionBus().asyncCall(message, kTimeoutMs);
    }();
    // KWin answers with the picture's layout and writes its pixels into the
    // pipe; both are taken as they come, so that neither side waits for
    // the other.
    constexpr qsizetype kMaxBytes = qsizetype{1} << 30;
    QByteArray pixels;
    std::optional<Layout> layout;
    bool ended = false; // the pipe is at its end
    while (std::chrono::steady_clock::now() < deadline) {
        if (ended)
            call.waitForFinished();
        if (!layout && call.isFinished()) {
            const QDBusPendingReply<QVariantMap> reply = call;
            if (reply.isError()) {
                if (reply.error().name() == QLatin1String("org.kde.KWin.ScreenShot2.Error.NoAuthorized") &&
                    !reportedRefusal.exchange(true))
                    Log::Printf("%s\n", KdePermission::Missing("org.kde.KWin.ScreenShot2").c_str());
                break;
            }
            if (!(layout = Described(reply.value())))
                break;
        }
        if (ended || (layout && pixels.size() >= layout->stride * layout->height))
            break;
        pollfd ready{fds[0], POLLIN, 0};
        ::poll(&ready, 1, 10);
        char buffer[1 << 16];
        ssize_t got = 0;
        while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0 && pixels.size() < kMaxBytes)
            pixels.append(buffer, got);
        ended = got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR);
    }
    ::close(fds[0]);
    if (!layout || pixels.size() < layout->stride * layout->height)
        return {};
    const QImage view(reinterpret_cast<const uchar*>(pixels.constData()), layout->width, layout->height,
                      layout->stride, layout->format);
    return view.convertToFormat(QImage::Format_RGB32);
}
