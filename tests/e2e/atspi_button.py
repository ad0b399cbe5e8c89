#!/usr/bin/python3
# atspi_button.py <pid> <name> focus|press: takes the keyboard focus to the button of that name in the
# process's accessibles (a dialog's first), or presses it; looks for ten seconds at most.
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def find(node, name, depth=0):
    try:
        if node.get_name() == name and "button" in node.get_role_name():
            return node
        children = (node.get_child_at_index(i) for i in range(node.get_child_count()))
        return next((f for f in (find(c, name, depth + 1) for c in children if c and depth < 60) if f), None)
    except gi.repository.GLib.Error:
        return None


def main():
    pid, name, what = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
            if app is None or app.get_process_id() != pid:
                continue
            # A window behind a dialog may hold a hidden button of the same name.
            windows = [app.get_child_at_index(i) for i in range(app.get_child_count())]
            dialogs = [w for w in windows if w is not None and w.get_role_name() in ("alert", "dialog")]
            button = next((b for b in (find(d, name) for d in dialogs + [app]) if b is not None), None)
            if button is not None and (button.grab_focus() if what == "focus" else button.do_action(0)):
                return 0
        time.sleep(0.2)
    print(f"no button named {name!r} in process {pid}", file=sys.stderr)
    return 1


sys.exit(main())
