#pragma once

#include <QImage>
#include <QSize>
#include <atomic>

struct wl_buffer;
struct wl_shm;

// A picture in shared memory for a Wayland surface: a wl_buffer in the
// premultiplied ARGB8888 format over an anonymous memory file, and a QImage
// over the same memory, so QPainter draws straight into what the
// compositor shows. The compositor reads it from its attachment until it
// releases it; busy() tells, and a busy buffer is not painted.
class ShmBuffer {
public:
    ShmBuffer(wl_shm* shm, QSize size);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    // Whether the memory and the buffer could be made.
    bool valid() const { return buffer != nullptr; }
    QSize size() const { return image.size(); }
    // The pixels; paint only while the buffer is not busy.
    QImage& pixels() { return image; }
    wl_buffer* get() const { return buffer; }
    // The compositor still reads the buffer (attached and not yet released).
    bool busy() const { return attached.load(); }
    // Call when attaching it to a surface.
    void markAttached() { attached.store(true); }

private:
    static void OnRelease(void* data, wl_buffer* buffer);

    void* memory = nullptr;
    std::size_t length = 0;
    wl_buffer* buffer = nullptr;
    QImage image;
    std::atomic<bool> attached{false};
};
