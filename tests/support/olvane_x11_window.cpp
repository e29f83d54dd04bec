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
struct Keyboard {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xcb_connection_t* connection;
    int device;
    xkb_keymap* keymap = nullptr;

    explicit Keyboard(Display* display) : connection(XGetXCBConnection(display)) {
        xkb_x11_setup_xkb_extension(connection, 1, 0, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                                    nullptr, nullptr, nullptr);
        device = xkb_x11_get_core_keyboard_device_id(connection);
        const unsigned long changes = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, changes, changes);
        reload();
    }

    void reload() {
        xkb_keymap* fresh = xkb_x11_keymap_new_from_device(context, connection, device,
                                                           XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!fresh) return;
        xkb_keymap_unref(keymap);
        keymap = fresh;
        std::printf("keymap\n");
    }

    // The text of the key, as UTF-8 in hex, or "-" for none.
    void printText(unsigned keycode, unsigned state) const {
        xkb_state* s = xkb_state_new(keymap);
        xkb_state_update_mask(s, state & 0xff, 0, 0, 0, 0, XkbGroupForCoreState(state));
        char utf8[64] = {};
        xkb_state_key_get_utf8(s, keycode, utf8, sizeof utf8);
        xkb_state_unref(s);
        for (const char* c = utf8; *c; ++c)
            std::printf("%02x", unsigned(static_cast<unsigned char>(*c)));
        std::printf("%s\n", *utf8 ? "" : "-");
    }
};

void selectRawButtons(Display* display) {
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawButtonPress);
    XISetMask(mask, XI_RawButtonRelease);
    XIEventMask events{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(display, DefaultRootWindow(display), &events, 1);
}
}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    int xkbEvent = 0, opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &xkbEvent, &error, &major, &minor)) return 1;
    int xiOpcode = 0, xiMajor = 2, xiMinor = 2;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &error, &error)) return 1;
    if (XIQueryVersion(display, &xiMajor, &xiMinor) != Success) return 1;
    Keyboard keyboard(display);

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
    selectRawButtons(display);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
            case MapNotify:
                XSetInputFocus(display, window, RevertToParent, CurrentTime);
                XSync(display, False);
                std::printf("ready\n");
                break;
            case KeyPress:
                std::printf("key-press %u %u ", event.xkey.keycode, event.xkey.state);
                keyboard.printText(event.xkey.keycode, event.xkey.state);
                break;
            case KeyRelease:
                std::printf("key-release %u %u\n", event.xkey.keycode, event.xkey.state);
                break;
            case ButtonPress:
            case ButtonRelease:
                std::printf("%s %u %d %d\n",
                            event.type == ButtonPress ? "button-press" : "button-release",
                            event.xbutton.button, event.xbutton.x_root, event.xbutton.y_root);
                break;
            case MotionNotify:
                std::printf("motion %d %d\n", event.xmotion.x_root, event.xmotion.y_root);
                break;
            case GenericEvent:
                if (event.xcookie.extension != xiOpcode || !XGetEventData(display, &event.xcookie))
                    break;
                std::printf("%s %d\n",
                            event.xcookie.evtype == XI_RawButtonPress ? "raw-button-press"
                                                                      : "raw-button-release",
                            static_cast<const XIRawEvent*>(event.xcookie.data)->detail);
                XFreeEventData(display, &event.xcookie);
                break;
            default:
                if (event.type == xkbEvent) {
                    const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
                    if (xkb.any.xkb_type == XkbNewKeyboardNotify ||
                        xkb.any.xkb_type == XkbMapNotify)
                        keyboard.reload();
                }
        }
    }
}
