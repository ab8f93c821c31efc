#include "GnomeScreenCapture.h"

#include "GnomeRemoteDesktop.h"
#include "Log.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

namespace {

constexpr int kFrameTimeoutMs = 3000;

// One capture: a PipeWire stream that takes the first frame with pixels.
struct FrameGrab {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    spa_video_info_raw format{};
    bool negotiated = false;

    std::mutex mutex;
    std::condition_variable arrived;
    QImage frame;
    bool failed = false;
};

QImage::Format ImageFormat(spa_video_format format)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx: return QImage::Format_RGB32;
    case SPA_VIDEO_FORMAT_BGRA: return QImage::Format_ARGB32;
    case SPA_VIDEO_FORMAT_RGBx: return QImage::Format_RGBX8888;
    case SPA_VIDEO_FORMAT_RGBA: return QImage::Format_RGBA8888;
    default: return QImage::Format_Invalid;
    }
}

void OnParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    auto* grab = static_cast<FrameGrab*>(data);
    if (param == nullptr || id != SPA_PARAM_Format)
        return;
    if (spa_format_video_raw_parse(param, &grab->format) < 0)
        return;
    grab->negotiated = true;
    // Buffers the program can read: shared memory, not GPU buffers.
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* buffers = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(grab->stream, &buffers, 1);
}

void OnProcess(void* data)
{
    auto* grab = static_cast<FrameGrab*>(data);
    pw_buffer* buffer = pw_stream_dequeue_buffer(grab->stream);
    if (buffer == nullptr)
        return;
    spa_data& plane = buffer->buffer->datas[0];
    const QImage::Format format = ImageFormat(grab->format.format);
    const int width = static_cast<int>(grab->format.size.width);
    const int height = static_cast<int>(grab->format.size.height);
    const int stride = plane.chunk != nullptr && plane.chunk->stride > 0 ? plane.chunk->stride : width * 4;
    const bool complete = plane.data != nullptr && plane.chunk != nullptr &&
                          (plane.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0 &&
                          plane.chunk->size >= static_cast<uint32_t>(stride) * static_cast<uint32_t>(height);
    if (complete && format != QImage::Format_Invalid && width > 0 && height > 0) {
        const auto* pixels = static_cast<const uchar*>(plane.data) + plane.chunk->offset;
        // A deep copy: the buffer goes back to PipeWire.
        QImage copy = QImage(pixels, width, height, stride, format).copy().convertToFormat(QImage::Format_RGB32);
        std::lock_guard lock(grab->mutex);
        if (grab->frame.isNull()) {
            grab->frame = std::move(copy);
            grab->arrived.notify_all();
        }
    }
    pw_stream_queue_buffer(grab->stream, buffer);
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
{
    auto* grab = static_cast<FrameGrab*>(data);
    if (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED)
        return;
    if (error != nullptr)
        Log::Printf("screenshot: PipeWire stream: %s\n", error);
    std::lock_guard lock(grab->mutex);
    grab->failed = true;
    grab->arrived.notify_all();
}

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnStateChanged;
    events.param_changed = OnParamChanged;
    events.process = OnProcess;
    return events;
}();

} // namespace

QImage GnomeScreenCapture::grab()
{
    const std::uint32_t node = session.streamNode();
    if (node == 0)
        return {};
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });

    FrameGrab grab;
    grab.loop = pw_thread_loop_new("corvane-screenshot", nullptr);
    if (grab.loop == nullptr || pw_thread_loop_start(grab.loop) != 0) {
        if (grab.loop != nullptr)
            pw_thread_loop_destroy(grab.loop);
        return {};
    }
    pw_thread_loop_lock(grab.loop);
    grab.context = pw_context_new(pw_thread_loop_get_loop(grab.loop), nullptr, 0);
    const int remote = session.openPipeWireRemote();
    if (grab.context != nullptr)
        grab.core = remote >= 0 ? pw_context_connect_fd(grab.context, remote, nullptr, 0)
                                : pw_context_connect(grab.context, nullptr, 0);
    if (grab.core != nullptr) {
        grab.stream = pw_stream_new(grab.core, "corvane-screenshot",
                                    pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                      PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    }
    if (grab.stream != nullptr) {
        pw_stream_add_listener(grab.stream, &grab.streamListener, &kStreamEvents, &grab);
        uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_rectangle minSize{1, 1}, defaultSize{1280, 800}, maxSize{16384, 16384};
        const spa_fraction noRate{0, 1}, defaultRate{30, 1}, maxRate{1000, 1};
        const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                                   SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &noRate, &maxRate)));
        if (pw_stream_connect(grab.stream, PW_DIRECTION_INPUT, node,
                              static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                              &formats, 1) != 0)
            grab.failed = true;
    } else {
        grab.failed = true;
    }
    pw_thread_loop_unlock(grab.loop);

    QImage frame;
    {
        std::unique_lock lock(grab.mutex);
        grab.arrived.wait_for(lock, std::chrono::milliseconds(kFrameTimeoutMs),
                              [&] { return !grab.frame.isNull() || grab.failed; });
        frame = grab.frame;
    }
    pw_thread_loop_stop(grab.loop);
    if (grab.stream != nullptr)
        pw_stream_destroy(grab.stream);
    if (grab.core != nullptr)
        pw_core_disconnect(grab.core);
    if (grab.context != nullptr)
        pw_context_destroy(grab.context);
    pw_thread_loop_destroy(grab.loop);
    if (frame.isNull())
        Log::Printf("screenshot: no frame from the monitor's stream\n");
    return frame;
}
