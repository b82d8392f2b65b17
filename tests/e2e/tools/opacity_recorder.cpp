// Records how a window's opacity reaches the X server: one line per change of
// its _NET_WM_WINDOW_OPACITY ("<server ms> opacity <0..1>", "deleted" when the
// property goes) and of its WM_STATE, which the window manager sets as it maps
// and unmaps the window ("<server ms> mapped" / "withdrawn"). The times are the
// server's own timestamps, so the recorder's scheduling does not blur them.
//
// usage: opacity_recorder WINDOW-ID SECONDS
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: opacity_recorder WINDOW-ID SECONDS\n", stderr);
        return 2;
    }
    const xcb_window_t window = xcb_window_t(std::strtoul(argv[1], nullptr, 0));
    const double seconds = std::atof(argv[2]);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fputs("opacity_recorder: cannot connect to the X server\n", stderr);
        return 1;
    }
    const xcb_atom_t opacity = atom(c, "_NET_WM_WINDOW_OPACITY");
    const xcb_atom_t wmState = atom(c, "WM_STATE");
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    std::puts("ready");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (std::chrono::steady_clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (poll(&fd, 1, int(left.count()) + 1) < 0)
            break;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (notify->atom == opacity) {
                    if (notify->state == XCB_PROPERTY_DELETE) {
                        std::printf("%u deleted\n", notify->time);
                    } else if (auto* value = xcb_get_property_reply(
                                   c,
                                   xcb_get_property(c, 0, window, opacity, XCB_ATOM_CARDINAL, 0, 1),
                                   nullptr)) {
                        if (xcb_get_property_value_length(value) == 4)
                            std::printf("%u opacity %.3f\n", notify->time,
                                        *static_cast<uint32_t*>(xcb_get_property_value(value)) /
                                            double(0xffffffffu));
                        std::free(value);
                    }
                } else if (notify->atom == wmState) {
                    if (auto* value = xcb_get_property_reply(
                            c, xcb_get_property(c, 0, window, wmState, wmState, 0, 1), nullptr)) {
                        const bool normal =
                            xcb_get_property_value_length(value) >= 4 &&
                            *static_cast<uint32_t*>(xcb_get_property_value(value)) == 1;
                        std::printf("%u %s\n", notify->time, normal ? "mapped" : "withdrawn");
                        std::free(value);
                    } else {
                        std::printf("%u withdrawn\n", notify->time);
                    }
                }
                std::fflush(stdout);
            }
            std::free(event);
        }
    }
    xcb_disconnect(c);
    return 0;
}
