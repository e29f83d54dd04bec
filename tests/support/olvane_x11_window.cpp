// SPDX-License-Identifier: GPL-3.0-or-later
// A window that records what reaches it, for tests that drive the X server from elsewhere.
// It covers the screen, takes the keyboard focus and prints one line per event on stdout:
//   ready
//   keymap                                  (it read the server's keymap again)
//   key-press <keycode> <state> <text as UTF-8 hex, or ->
//   key-release <keycode> <state>
//   button-press <button> <x> <y>   button-release <button> <x> <y>   motion <x> <y>
//   raw-button-press <button>   raw-button-release <button>   (XInput 2, wherever the pointer is)
// Key text is translated as toolkits do: the keymap is read again on every XKB map change and
// applied with the modifiers and group the event carries. It runs until it is killed.
#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <cstdio>

namespace {
xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
xkb_keymap* keymap = nullptr;

void readKeymap(xcb_connection_t* connection) {
    const int device = xkb_x11_get_core_keyboard_device_id(connection);
    xkb_keymap* fresh =
        xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!fresh) return;
    xkb_keymap_unref(keymap);
    keymap = fresh;
    std::printf("keymap\n");
}

// The text of the key, as UTF-8 in hex, or "-" for none.
void printText(unsigned keycode, unsigned state) {
    xkb_state* s = xkb_state_new(keymap);
    xkb_state_update_mask(s, state & 0xff, 0, 0, 0, 0, XkbGroupForCoreState(state));
    char utf8[64] = {};
    xkb_state_key_get_utf8(s, keycode, utf8, sizeof utf8);
    xkb_state_unref(s);
    for (const char* c = utf8; *c; ++c)
        std::printf("%02x", unsigned(static_cast<unsigned char>(*c)));
    std::printf("%s\n", *utf8 ? "" : "-");
}
}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Display* display = XOpenDisplay(nullptr);
    int xkbEvent = 0, xiOpcode = 0, unused = 0, xiMajor = 2, xiMinor = 2;
    int xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    if (!display ||
        !XkbQueryExtension(display, &unused, &xkbEvent, &unused, &xkbMajor, &xkbMinor) ||
        !XQueryExtension(display, "XInputExtension", &xiOpcode, &unused, &unused) ||
        XIQueryVersion(display, &xiMajor, &xiMinor) != Success)
        return 1;
    xcb_connection_t* connection = XGetXCBConnection(display);
    xkb_x11_setup_xkb_extension(connection, 1, 0, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                                nullptr, nullptr, nullptr);
    const unsigned long changes = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
    XkbSelectEvents(display, XkbUseCoreKbd, changes, changes);
    readKeymap(connection);

    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | StructureNotifyMask;
    attributes.override_redirect = True;
    Window window =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, DisplayWidth(display, screen),
                      DisplayHeight(display, screen), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWEventMask | CWOverrideRedirect, &attributes);
    XMapRaised(display, window);
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawButtonPress);
    XISetMask(mask, XI_RawButtonRelease);
    XIEventMask rawButtons{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(display, DefaultRootWindow(display), &rawButtons, 1);

    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            XSync(display, False);
            std::printf("ready\n");
        } else if (event.type == KeyPress) {
            std::printf("key-press %u %u ", event.xkey.keycode, event.xkey.state);
            printText(event.xkey.keycode, event.xkey.state);
        } else if (event.type == KeyRelease) {
            std::printf("key-release %u %u\n", event.xkey.keycode, event.xkey.state);
        } else if (event.type == ButtonPress || event.type == ButtonRelease) {
            std::printf("%s %u %d %d\n",
                        event.type == ButtonPress ? "button-press" : "button-release",
                        event.xbutton.button, event.xbutton.x_root, event.xbutton.y_root);
        } else if (event.type == MotionNotify) {
            std::printf("motion %d %d\n", event.xmotion.x_root, event.xmotion.y_root);
        } else if (event.type == GenericEvent && event.xcookie.extension == xiOpcode &&
                   XGetEventData(display, &event.xcookie)) {
            std::printf("%s %d\n",
                        event.xcookie.evtype == XI_RawButtonPress ? "raw-button-press"
                                                                  : "raw-button-release",
                        static_cast<const XIRawEvent*>(event.xcookie.data)->detail);
            XFreeEventData(display, &event.xcookie);
        } else if (event.type == xkbEvent) {
            const int kind = reinterpret_cast<const XkbEvent&>(event).any.xkb_type;
            if (kind == XkbNewKeyboardNotify || kind == XkbMapNotify) readKeymap(connection);
        }
    }
}
