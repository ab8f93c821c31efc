#include "ShmBuffer.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

ShmBuffer::ShmBuffer(wl_shm* shm, QSize size)
{
    if (shm == nullptr || size.isEmpty())
        return;
    const int stride = size.width() * 4;
    length = static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height());
    const int fd = ::memfd_create("corvane-shm", MFD_CLOEXEC);
    if (fd < 0)
        return;
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0 ||
        (memory = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
        memory = nullptr;
        ::close(fd);
        return;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(length));
    buffer = wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    static const wl_buffer_listener listener = {.release = &ShmBuffer::OnRelease};
    wl_buffer_add_listener(buffer, &listener, this);
    // Premultiplied ARGB in native (little-endian) order is Wayland's ARGB8888.
    image = QImage(static_cast<uchar*>(memory), size.width(), size.height(), stride,
                   QImage::Format_ARGB32_Premultiplied);
}

ShmBuffer::~ShmBuffer()
{
    if (buffer != nullptr)
        wl_buffer_destroy(buffer);
    if (memory != nullptr)
        ::munmap(memory, length);
}

void ShmBuffer::OnRelease(void* data, wl_buffer*)
{
    static_cast<ShmBuffer*>(data)->attached.store(false);
}
