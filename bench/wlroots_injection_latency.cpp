// Injection latency on a headless sway: from a live move message written to
// the corvane program's socket until a full-screen Wayland window of this
// benchmark receives the pointer motion there; against a virtual pointer of
// this benchmark's own sending the same motion, observed the same way, in
// the same run. 10,000 moves of each, in alternating blocks.
#include "BenchTools.h"
#include "MyClient.h"
#include "SCommon.h"
#include "ServerProcess.h"
#include "SwaySession.h"
#include "UserSandbox.h"

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace {

constexpr int kMoves = 10000;
constexpr int kBlock = 500;
using BenchTools::Clock;

// A full-screen window that records where the pointer moved over it, and a
// virtual pointer, on one connection of the benchmark's own.
struct Observer {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* shell = nullptr;
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    wl_surface* surface = nullptr;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    int x = -1, y = -1;   // the last motion's place
    bool entered = false; // the pointer is over the window
    bool shown = false;

    bool open()
    {
        display = wl_display_connect(nullptr);
        if (display == nullptr)
            return false;
        static const wl_registry_listener registryListener = {
            .global =
                [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
                    auto* o = static_cast<Observer*>(data);
                    const std::string is = interface;
                    const auto bind = [&](const wl_interface* type, std::uint32_t version) {
                        return wl_registry_bind(registry, name, type, version);
                    };
                    if (is == "wl_compositor")
                        o->compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
                    else if (is == "wl_shm")
                        o->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
                    else if (is == "xdg_wm_base")
                        o->shell = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
                    else if (is == "wl_seat" && o->seat == nullptr)
                        o->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
                    else if (is == "zwlr_virtual_pointer_manager_v1")
                        o->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
                            bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
                },
            .global_remove = [](void*, wl_registry*, std::uint32_t) {},
        };
        wl_registry_add_listener(wl_display_get_registry(display), &registryListener, this);
        wl_display_roundtrip(display);
        if (!compositor || !shm || !shell || !seat || !pointers)
            return false;

        static const wl_pointer_listener pointerListener = {
            .enter =
                [](void* data, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t sx, wl_fixed_t sy) {
                    auto* o = static_cast<Observer*>(data);
                    o->entered = true;
                    o->x = wl_fixed_to_int(sx);
                    o->y = wl_fixed_to_int(sy);
                },
            .leave =
                [](void* data, wl_pointer*, std::uint32_t, wl_surface*) {
                    static_cast<Observer*>(data)->entered = false;
                },
            .motion =
                [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t sx, wl_fixed_t sy) {
                    auto* o = static_cast<Observer*>(data);
                    o->x = wl_fixed_to_int(sx);
                    o->y = wl_fixed_to_int(sy);
                },
            .button = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
            .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
            .frame = [](void*, wl_pointer*) {},
            .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
            .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
            .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
        };
        wl_pointer_add_listener(wl_seat_get_pointer(seat), &pointerListener, this);
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);

        static const xdg_wm_base_listener shellListener = {
            .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }};
        xdg_wm_base_add_listener(shell, &shellListener, this);
        static const xdg_surface_listener surfaceListener = {
            .configure = [](void* data, xdg_surface* xdg, std::uint32_t serial) {
                auto* o = static_cast<Observer*>(data);
                xdg_surface_ack_configure(xdg, serial);
                o->attachBuffer();
            }};
        surface = wl_compositor_create_surface(compositor);
        xdg_surface* xdg = xdg_wm_base_get_xdg_surface(shell, surface);
        xdg_surface_add_listener(xdg, &surfaceListener, this);
        xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdg);
        xdg_toplevel_set_fullscreen(toplevel, nullptr);
        wl_surface_commit(surface);
        while (!shown && wl_display_dispatch(display) >= 0) {
        }
        return shown;
    }

    // A white picture the size of the screen.
    void attachBuffer()
    {
        const int width = SwaySession::kWidth, height = SwaySession::kHeight, stride = width * 4;
        const int fd = ::memfd_create("observer", MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, stride * height) != 0)
            return;
        void* pixels = ::mmap(nullptr, static_cast<std::size_t>(stride * height), PROT_WRITE, MAP_SHARED, fd, 0);
        std::memset(pixels, 0xff, static_cast<std::size_t>(stride * height));
        ::munmap(pixels, static_cast<std::size_t>(stride * height));
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, stride * height);
        wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        ::close(fd);
        wl_surface_attach(surface, buffer, 0, 0);
        wl_surface_commit(surface);
        shown = true;
    }

    // Reads events until the pointer is at (x, y) over the window.
    bool waitFor(int wantedX, int wantedY)
    {
        wl_display_flush(display);
        while (!(entered && x == wantedX && y == wantedY)) {
            if (wl_display_dispatch(display) < 0)
                return false;
        }
        return true;
    }
};

} // namespace

int main()
{
    UserSandbox user;
    SwaySession sway;
    if (!sway.started()) {
        std::printf("injection latency on sway: sway is not available, nothing measured\n");
        return 1;
    }
    ServerProcess corvane;
    Observer observer;
    MyClient client;
    client.SetInfo("127.0.0.1", corvane.tcpPort(), 5);
    if (!observer.open() || client.ConnService() != NR_OK) {
        std::printf("injection latency on sway: set-up failed\n");
        return 1;
    }
    const auto move = [&](float dx, float dy) {
        std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Move, ".", dx, dy));
        client.SendMsg(message.get());
    };
    // The pointer to the middle of the screen, where corvane knows it is.
    move(-10000, -10000);
    move(SwaySession::kWidth / 2, SwaySession::kHeight / 2);
    int x = SwaySession::kWidth / 2, y = SwaySession::kHeight / 2;
    if (!observer.waitFor(x, y)) {
        std::printf("injection latency on sway: the window never saw the pointer\n");
        return 1;
    }

    std::uint32_t time = 0;
    std::vector<double> ours, anchor;
    const auto measure = [&](const std::function<void(int dx)>& send, std::vector<double>& latencies) {
        for (int i = 0; i < kBlock; ++i) {
            const int dx = i % 2 == 0 ? 1 : -1;
            const auto start = Clock::now();
            send(dx);
            observer.waitFor(x + dx, y);
            latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            x += dx;
        }
    };
    for (int done = 0; done < kMoves; done += kBlock) {
        measure([&](int dx) { move(static_cast<float>(dx), 0); }, ours);
        measure(
            [&](int dx) {
                zwlr_virtual_pointer_v1_motion(observer.pointer, ++time, wl_fixed_from_int(dx), 0);
                zwlr_virtual_pointer_v1_frame(observer.pointer);
                wl_display_flush(observer.display);
            },
            anchor);
    }
    BenchTools::ReportLatencies("injection latency on headless sway, " + std::to_string(kMoves) + " moves each",
                                "corvane live move -> window sees the pointer", ours,
                                "anchor: own virtual pointer -> the same", anchor, "p99 under 2000");
    wl_display_disconnect(observer.display);
    return 0;
}
