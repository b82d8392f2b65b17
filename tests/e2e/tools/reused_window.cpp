// Opens a window and prints its id; for each line read from standard input it
// destroys that window and opens a new one under the same id, as the X server
// may hand a freed id to a new window. Ends at the end of its input.
//
// usage: reused_window NAME
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: reused_window NAME\n", stderr);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t id = xcb_generate_id(c);
    const std::string name = argv[1];
    // WM_CLASS is "instance\0class\0".
    const std::string wmClass = name + '\0' + name + '\0';
    auto open = [&] {
        const uint32_t white = screen->white_pixel;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, id, screen->root, 300, 300, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                          &white);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(name.size()), name.data());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            uint32_t(wmClass.size()), wmClass.data());
        xcb_map_window(c, id);
        xcb_flush(c);
    };
    open();
    std::printf("0x%x\n", id);
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        xcb_destroy_window(c, id);
        open();
        // A round trip, so that the new window exists when the caller goes on.
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        std::puts("again");
        std::fflush(stdout);
    }
    xcb_disconnect(c);
    return 0;
}
