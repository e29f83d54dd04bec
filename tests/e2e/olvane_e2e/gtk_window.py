"""A GTK 3 program on Wayland that records the input it gets, one line per event.

It covers every monitor with a full-screen window, so that the pointer is always over one of
them, and writes positions in desktop coordinates. The window on the first monitor holds a
text field with the keyboard focus ("ready" once it has it); its whole text is written after
every change.

    ready
    motion X Y (also when the pointer enters) | press BUTTON X Y | release BUTTON X Y
    scroll DX DY
    key KEYNAME STATE
    text "JSON string"

Run from tests/e2e: GDK_BACKEND=wayland python3 -m olvane_e2e.gtk_window
"""
import json

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402


def say(*words):
    print(*words, flush=True)
    return True  # handled: GTK would otherwise hand a pointer event to the window twice


def scrolled(_, event):
    _, dx, dy = event.get_scroll_deltas()
    return event.is_stop or say("scroll", dx, dy)


def key_pressed(_, event):
    say("key", Gdk.keyval_name(event.keyval), int(event.state))
    return False  # on to the text field


def monitor_window(geometry):
    window = Gtk.Window(title="olvane-recorder")
    window.add_events(Gdk.EventMask.POINTER_MOTION_MASK | Gdk.EventMask.ENTER_NOTIFY_MASK
                      | Gdk.EventMask.BUTTON_PRESS_MASK | Gdk.EventMask.BUTTON_RELEASE_MASK
                      | Gdk.EventMask.SMOOTH_SCROLL_MASK)
    at = lambda e: "%d %d" % (geometry.x + e.x, geometry.y + e.y)  # noqa: E731
    for event in ("motion-notify-event", "enter-notify-event"):
        window.connect(event, lambda _, e: say("motion", at(e)))
    window.connect("button-press-event", lambda _, e: say("press", e.button, at(e)))
    window.connect("button-release-event", lambda _, e: say("release", e.button, at(e)))
    window.connect("scroll-event", scrolled)
    window.connect("key-press-event", key_pressed)
    return window


def main():
    display = Gdk.Display.get_default()
    field = Gtk.Entry()
    field.connect("changed", lambda f: say("text", json.dumps(f.get_text())))
    # The first monitor's window comes last, so that it gets the keyboard focus.
    for index in reversed(range(display.get_n_monitors())):
        window = monitor_window(display.get_monitor(index).get_geometry())
        if index == 0:
            box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
            box.pack_start(field, False, False, 0)
            window.add(box)
        window.show_all()
        window.fullscreen_on_monitor(display.get_default_screen(), index)
    window.present()
    field.grab_focus()
    field.connect("focus-in-event", lambda *_: say("ready"))
    Gtk.main()


if __name__ == "__main__":
    main()
