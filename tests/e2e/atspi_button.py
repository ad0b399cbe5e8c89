#!/usr/bin/python3
"""atspi_button.py <pid> <name> focus|press: finds the button of that name among the accessibles
of the process and takes the keyboard focus to it, or presses it. Looks for ten seconds at most."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def find(node, name, depth=0):
    if node is None or depth > 60:
        return None
    try:
        if node.get_name() == name and "button" in node.get_role_name():
            return node
        for index in range(node.get_child_count()):
            found = find(node.get_child_at_index(index), name, depth + 1)
            if found is not None:
                return found
    except gi.repository.GLib.Error:
        return None
    return None


def main():
    pid, name, what = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(index)
            if app is None or app.get_process_id() != pid:
                continue
            # A dialog's buttons first: a window behind it may hold a hidden button of the same name.
            dialogs = [app.get_child_at_index(i) for i in range(app.get_child_count())]
            dialogs = [d for d in dialogs if d is not None and d.get_role_name() in ("alert", "dialog")]
            button = next((b for b in (find(d, name) for d in dialogs) if b is not None), None)
            if button is None:
                button = find(app, name)
            if button is None:
                continue
            if what == "focus" and button.grab_focus():
                return 0
            if what == "press" and button.do_action(0):
                return 0
        time.sleep(0.2)
    print(f"no button named {name!r} in process {pid}", file=sys.stderr)
    return 1


sys.exit(main())
