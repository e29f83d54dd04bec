"""A text field of a real toolkit on $DISPLAY: prints "ready" once it has the keyboard, then
every line typed into it, as JSON, when Return is pressed, and empties itself.
Usage: text_field.py tk|gtk
"""
import json
import sys


def submit(text):
    print(json.dumps(text), flush=True)


def tk_field():
    import tkinter
    root = tkinter.Tk()
    entry = tkinter.Entry(root, width=60)
    entry.pack()
    entry.bind("<Return>", lambda _: (submit(entry.get()), entry.delete(0, "end")))

    def keep_focus():  # no window manager gives it back after another window took it
        entry.focus_force()
        root.after(100, keep_focus)

    keep_focus()
    root.after(200, lambda: print("ready", flush=True))
    root.mainloop()


def gtk_field():
    import gi
    gi.require_version("Gtk", "3.0")
    from gi.repository import GLib, Gtk
    window, entry = Gtk.Window(), Gtk.Entry()
    window.add(entry)
    entry.connect("activate", lambda _: (submit(entry.get_text()), entry.set_text("")))

    def keep_focus(ready=[]):
        if not window.is_active():
            window.get_window().focus(0)
        elif not entry.has_focus():
            entry.grab_focus_without_selecting()  # what is typed so far stays
        elif not ready:
            ready.append(print("ready", flush=True))
        return True

    window.show_all()
    GLib.timeout_add(100, keep_focus)
    Gtk.main()


{"tk": tk_field, "gtk": gtk_field}[sys.argv[1]]()
