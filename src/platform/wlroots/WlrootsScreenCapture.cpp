#include "WlrootsScreenCapture.h"

#include "WaylandConnection.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <chrono>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

constexpr std::chrono::seconds kTimeout{5};

// What one frame of screencopy reported.
struct Frame {
    std::uint32_t version = 1;
    bool haveShmBuffer = false;
    std::uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool described = false; // every buffer offer came
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

// The QImage layout of a wl_shm format (little-endian words), Format_Invalid
// for formats this program does not read.
QImage::Format ImageFormat(std::uint32_t format)
{
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888: return QImage::Format_RGB32;
    case WL_SHM_FORMAT_ARGB8888: return QImage::Format_ARGB32;
    case WL_SHM_FORMAT_XBGR8888: return QImage::Format_RGBX8888;
    case WL_SHM_FORMAT_ABGR8888: return QImage::Format_RGBA8888;
    default: return QImage::Format_Invalid;
    }
}

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
           std::uint32_t stride) {
            auto* frame = static_cast<Frame*>(data);
            // The first format this program reads wins.
            if (!frame->haveShmBuffer && ImageFormat(format) != QImage::Format_Invalid) {
                frame->haveShmBuffer = true;
                frame->format = format;
                frame->width = width;
                frame->height = height;
                frame->stride = stride;
            }
            if (frame->version < 3) // no buffer_done before version 3: one offer only
                frame->described = true;
        },
    .flags =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
            static_cast<Frame*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                std::uint32_t) { static_cast<Frame*>(data)->ready = true; },
    .failed = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; },
    .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .buffer_done = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->described = true; },
};

// The picture as the output shows it: the compositor hands over the
// output's buffer, which a rotated or flipped output shows turned.
QImage Upright(const QImage& image, int transform)
{
    if (transform == WL_OUTPUT_TRANSFORM_NORMAL)
        return image;
    // The output shows its buffer turned counter-clockwise by the
    // transform, then flipped for the flipped ones: QTransform's angles
    // turn clockwise on screen.
    static const int kDegrees[] = {0, 90, 180, 270};
    const int degrees = kDegrees[transform % 4];
    const QImage turned = degrees == 0 ? image : image.transformed(QTransform().rotate(degrees));
    return transform >= WL_OUTPUT_TRANSFORM_FLIPPED ? turned.mirrored(true, false) : turned;
}

} // namespace

WlrootsScreenCapture::WlrootsScreenCapture(WaylandConnection& connection, WaylandOutputs& outputs)
    : connection(connection), outputs(outputs)
{
    shm = static_cast<wl_shm*>(connection.bind(&wl_shm_interface, 1));
    version = connection.version("zwlr_screencopy_manager_v1", 3);
    manager = static_cast<zwlr_screencopy_manager_v1*>(connection.bind(&zwlr_screencopy_manager_v1_interface, 3));
}

WlrootsScreenCapture::~WlrootsScreenCapture()
{
    if (manager)
        zwlr_screencopy_manager_v1_destroy(manager);
    if (shm)
        wl_shm_destroy(shm);
    connection.flush();
}

QImage WlrootsScreenCapture::capture(const WaylandOutputs::Output& output)
{
    wl_event_queue* queue = wl_display_create_queue(connection.get());
    zwlr_screencopy_manager_v1* copier = WaylandConnection::OnQueue(manager, queue);
    wl_shm* memory = WaylandConnection::OnQueue(shm, queue);
    Frame frame;
    frame.version = version;
    zwlr_screencopy_frame_v1* request = zwlr_screencopy_manager_v1_capture_output(copier, 0, output.proxy);
    zwlr_screencopy_frame_v1_add_listener(request, &kFrameListener, &frame);
    connection.flush();

    QImage image;
    void* pixels = MAP_FAILED;
    std::size_t size = 0;
    int fd = -1;
    wl_buffer* buffer = nullptr;
    if (connection.dispatchUntil(queue, [&] { return frame.described || frame.failed; }, kTimeout) &&
        frame.haveShmBuffer && !frame.failed) {
        size = static_cast<std::size_t>(frame.stride) * frame.height;
        fd = ::memfd_create("corvane-screenshot", MFD_CLOEXEC);
        if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0)
            pixels = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (pixels != MAP_FAILED) {
        wl_shm_pool* pool = wl_shm_create_pool(memory, fd, static_cast<std::int32_t>(size));
        buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(frame.width),
                                           static_cast<std::int32_t>(frame.height),
                                           static_cast<std::int32_t>(frame.stride), frame.format);
        wl_shm_pool_destroy(pool);
        zwlr_screencopy_frame_v1_copy(request, buffer);
        connection.flush();
        if (connection.dispatchUntil(queue, [&] { return frame.ready || frame.failed; }, kTimeout) && frame.ready) {
            const QImage shown(static_cast<const uchar*>(pixels), static_cast<int>(frame.width),
                               static_cast<int>(frame.height), static_cast<qsizetype>(frame.stride),
                               ImageFormat(frame.format));
            // A deep copy: the shared memory goes below.
            image = shown.format() == QImage::Format_RGB32 ? shown.copy()
                                                           : shown.convertToFormat(QImage::Format_RGB32);
            if (frame.yInverted)
                image = image.mirrored(false, true);
            image = Upright(image, output.transform);
        }
    }

    if (buffer)
        wl_buffer_destroy(buffer);
    zwlr_screencopy_frame_v1_destroy(request);
    wl_proxy_wrapper_destroy(memory);
    wl_proxy_wrapper_destroy(copier);
    connection.flush();
    wl_event_queue_destroy(queue);
    if (pixels != MAP_FAILED)
        ::munmap(pixels, size);
    if (fd >= 0)
        ::close(fd);
    return image;
}

QImage WlrootsScreenCapture::grab()
{
    if (manager == nullptr || shm == nullptr)
        return {};
    const std::vector<WaylandOutputs::Output> all = outputs.current();
    if (all.empty())
        return {};
    if (all.size() == 1)
        return capture(all.front());

    // Several outputs: one picture of the layout at the largest scale.
    QRect desktop;
    int scale = 1;
    for (const WaylandOutputs::Output& output : all) {
        desktop = desktop.united(output.rect);
        scale = std::max(scale, output.scale);
    }
    QImage whole(desktop.size() * scale, QImage::Format_RGB32);
    whole.fill(Qt::black);
    QPainter painter(&whole);
    for (const WaylandOutputs::Output& output : all) {
        const QImage picture = capture(output);
        if (picture.isNull())
            continue;
        painter.drawImage(QRect((output.rect.topLeft() - desktop.topLeft()) * scale, output.rect.size() * scale),
                          picture);
    }
    painter.end();
    return whole;
}
