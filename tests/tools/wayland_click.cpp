// Clicks on a wlroots-based Wayland compositor through its virtual-pointer
// protocol (zwlr_virtual_pointer_v1): real pointer input for tests that run
// a program natively under a headless compositor, which has no input
// devices of its own. The protocol's interfaces are declared here, so that
// no generated code is needed.
//   wayland_click X Y [BUTTON]   move to output pixel (X, Y) and click
//                                (BUTTON 1 left, 3 right; default 1)
// Exit status 0 when the compositor took the requests, 1 otherwise.
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// zwlr_virtual_pointer_manager_v1, version 1: create_virtual_pointer(seat, id).
extern const wl_interface pointer_interface;
const wl_interface* pointer_types_for_create[] = {&wl_seat_interface, &pointer_interface};
const wl_message manager_requests[] = {
    {"create_virtual_pointer", "?on", pointer_types_for_create},
    {"destroy", "", nullptr},
};
const wl_interface manager_interface = {"zwlr_virtual_pointer_manager_v1", 1, 2, manager_requests, 0, nullptr};

// zwlr_virtual_pointer_v1 requests, in protocol order.
const wl_interface* no_types[] = {nullptr, nullptr, nullptr, nullptr, nullptr};
const wl_message pointer_requests[] = {
    {"motion", "uff", no_types},   {"motion_absolute", "uuuuu", no_types},
    {"button", "uuu", no_types},   {"axis", "uuf", no_types},
    {"frame", "", no_types},       {"axis_source", "u", no_types},
    {"axis_stop", "uu", no_types}, {"axis_discrete", "uufi", no_types},
    {"destroy", "", no_types},
};
const wl_interface pointer_interface = {"zwlr_virtual_pointer_v1", 1, 9, pointer_requests, 0, nullptr};

enum Request : std::uint32_t { MOTION_ABSOLUTE = 1, BUTTON = 2, FRAME = 4, DESTROY = 8 };
constexpr std::uint32_t MANAGER_DESTROY = 1; // the manager's destroy request
constexpr std::uint32_t BTN_LEFT = 0x110, BTN_RIGHT = 0x111;
// The extent that absolute positions are given in; the compositor maps it
// onto the output layout, which the tests make 1280 x 1024.
constexpr std::uint32_t EXTENT_W = 1280, EXTENT_H = 1024;

struct Globals {
    wl_seat* seat = nullptr;
    wl_proxy* manager = nullptr;
};

void on_global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(interface, "wl_seat") == 0 && !g->seat)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, manager_interface.name) == 0)
        g->manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &manager_interface, 1));
}
void on_global_remove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registry_listener = {on_global, on_global_remove};

std::uint32_t now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

void pause_ms(long ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&t, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wayland_click X Y [BUTTON]\n");
        return 2;
    }
    const auto x = static_cast<std::uint32_t>(std::atoi(argv[1]));
    const auto y = static_cast<std::uint32_t>(std::atoi(argv[2]));
    const std::uint32_t button = argc > 3 && std::atoi(argv[3]) == 3 ? BTN_RIGHT : BTN_LEFT;

    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wayland_click: no Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, &g);
    wl_display_roundtrip(display);
    // Every proxy goes before the connection, so that a leak checker sees
    // nothing left.
    auto disconnect = [&] {
        if (g.manager) {
            wl_proxy_marshal(g.manager, MANAGER_DESTROY);
            wl_proxy_destroy(g.manager);
        }
        if (g.seat) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(g.seat));
        wl_registry_destroy(registry);
        wl_display_roundtrip(display);
        wl_display_disconnect(display);
    };
    if (!g.seat || !g.manager) {
        std::fprintf(stderr, "wayland_click: the compositor offers no %s\n", g.seat ? manager_interface.name : "seat");
        disconnect();
        return 1;
    }
    auto* pointer = wl_proxy_marshal_constructor(g.manager, 0, &pointer_interface, g.seat, nullptr);
    // The new device gives the seat a pointer; let clients bind it first.
    wl_display_roundtrip(display);
    pause_ms(300);
    wl_proxy_marshal(pointer, MOTION_ABSOLUTE, now_ms(), x, y, EXTENT_W, EXTENT_H);
    wl_proxy_marshal(pointer, FRAME);
    wl_display_roundtrip(display);
    pause_ms(100);
    wl_proxy_marshal(pointer, BUTTON, now_ms(), button, 1u);
    wl_proxy_marshal(pointer, FRAME);
    wl_display_roundtrip(display);
    pause_ms(60);
    wl_proxy_marshal(pointer, BUTTON, now_ms(), button, 0u);
    wl_proxy_marshal(pointer, FRAME);
    wl_display_roundtrip(display);
    pause_ms(100);
    wl_proxy_marshal(pointer, DESTROY);
    wl_proxy_destroy(pointer);
    int status = wl_display_roundtrip(display) < 0 ? 1 : 0;
    disconnect();
    return status;
}
