# SPDX-License-Identifier: GPL-3.0-or-later
"""A Tk or GTK 3 field printing "ready" once it has the keyboard (which it takes back itself:
no window manager), "text" and its JSON text on changes, "submit" and it on Return, then empty.
GTK also prints keys, and pointer events in desktop coordinates: its windows cover every monitor."""
import json
import sys


def say(*words):
    print(*words, flush=True)
    return True  # handled: GTK would otherwise hand a pointer event to the window twice


def tk_field():
    import tkinter
    root = tkinter.Tk()
    text = tkinter.StringVar(root)
    text.trace_add("write", lambda *_: say("text", json.dumps(text.get())))
    entry = tkinter.Entry(root, width=60, textvariable=text)
    entry.pack()
    entry.bind("<Return>", lambda _: (say("submit", json.dumps(text.get())), text.set("")))

    def keep_focus():
        entry.focus_force()
        root.after(100, keep_focus)

    keep_focus()
    root.after(200, say, "ready")
    root.mainloop()


def gtk_field():
    import gi
    gi.require_version("Gdk", "3.0")
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, GLib, Gtk

    display, field, windows = Gdk.Display.get_default(), Gtk.Entry(), []
    field.connect("changed", lambda f: say("text", json.dumps(f.get_text())))
    field.connect("activate", lambda f: (say("submit", json.dumps(f.get_text())), f.set_text("")))
    # The first monitor's window comes last, so that it gets the keyboard focus.
    for index in reversed(range(display.get_n_monitors())):
        box = display.get_monitor(index).get_geometry()
        at = lambda e, box=box: "%d %d" % (box.x + e.x, box.y + e.y)  # noqa: E731
        window = Gtk.Window()
        windows.append(window)
        window.add_events(Gdk.EventMask.POINTER_MOTION_MASK | Gdk.EventMask.ENTER_NOTIFY_MASK
                          | Gdk.EventMask.BUTTON_PRESS_MASK | Gdk.EventMask.BUTTON_RELEASE_MASK
                          | Gdk.EventMask.SMOOTH_SCROLL_MASK)
        for event in ("motion-notify-event", "enter-notify-event"):
            window.connect(event, lambda _, e, at=at: say("motion", at(e)))
        for event, word in (("button-press-event", "press"), ("button-release-event", "release")):
            window.connect(event, lambda _, e, at=at, word=word: say(word, e.button, at(e)))
        window.connect("scroll-event", lambda _, e: say("stop") if e.is_stop else say(
            "scroll", *e.get_scroll_deltas()[1:]))
        window.connect("key-press-event", lambda _, e: not say(
            "key", Gdk.keyval_name(e.keyval), int(e.state)))  # then on to the field
        if index == 0:
            window.add(Gtk.Box(orientation=Gtk.Orientation.VERTICAL))
            window.get_child().pack_start(field, False, False, 0)
        window.show_all()
        window.fullscreen_on_monitor(display.get_default_screen(), index)

    def keep_focus(ready=[]):
        if not window.is_active():
            window.get_window().focus(0)
        elif not field.has_focus():
            field.grab_focus_without_selecting()  # what is typed so far stays
        elif not ready and all("X11" in type(display).__name__ or  # without window manager
                               w.get_window().get_state() & Gdk.WindowState.FULLSCREEN
                               for w in windows):  # pointer events are placed by monitor
            ready.append(say("ready"))
        return True

    window.present()
    GLib.timeout_add(100, keep_focus)
    Gtk.main()


{"tk": tk_field, "gtk": gtk_field}[sys.argv[1]]()
