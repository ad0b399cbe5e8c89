#!/usr/bin/python3
"""Reads another program's windows over the accessibility bus, as a screen reader does.

    accessible_texts.py texts <application>          the names of its showing labels, one a line
    accessible_texts.py press <application> <button>  presses its showing push button of that name
    accessible_texts.py row <application> <text>      the middle of its showing list or table row whose
                                                      name holds text, on screen: "X Y", then
                                                      "selected" when the row is
"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(element, depth=0):
    if element is None or depth > 30:
        return
    yield element
    for index in range(min(element.get_child_count(), 200)):
        yield from walk(element.get_child_at_index(index), depth + 1)


def showing(element):
    return element.get_state_set().contains(Atspi.StateType.SHOWING)


def application(name):
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(index)
        if app is not None and (app.get_name() or "").lower() == name.lower():
            return app
    return None


ROWS = (Atspi.Role.TABLE_ROW, Atspi.Role.LIST_ITEM)


def showing_rows(element, depth=0):
    """The rows on screen: a part not showing holds none (a closed menu, a hidden pane), and a row's
    cells are no rows."""
    if depth > 30:
        return
    for index in range(min(element.get_child_count(), 500)):
        child = element.get_child_at_index(index)
        try:
            if child is None or not showing(child):
                continue
            if child.get_role() in ROWS:
                yield child
            else:
                yield from showing_rows(child, depth + 1)
        except gi.repository.GLib.Error:
            continue  # gone while read


def row(app, text):
    for element in showing_rows(app):
        try:
            if text not in (element.get_name() or ""):
                continue
            box = element.get_component_iface().get_extents(Atspi.CoordType.SCREEN)
            if box.width <= 0 or box.height <= 0:
                continue  # not laid out yet
            selected = element.get_state_set().contains(Atspi.StateType.SELECTED)
            print(box.x + box.width // 2, box.y + box.height // 2, "selected" if selected else "")
            return 0
        except gi.repository.GLib.Error:
            continue
    return 1


def main():
    command, name = sys.argv[1], sys.argv[2]
    app = application(name)
    if app is None:
        return 1
    if command == "row":
        return row(app, sys.argv[3])
    for element in walk(app):
        try:
            role, text = element.get_role(), element.get_name() or ""
            if not showing(element):
                continue
            if command == "texts" and role == Atspi.Role.LABEL and text:
                print(text)
            elif command == "press" and role == Atspi.Role.PUSH_BUTTON and text.replace("&", "") == sys.argv[3]:
                element.get_action_iface().do_action(0)
                return 0
        except gi.repository.GLib.Error:
            continue  # gone while read
    return 0 if command == "texts" else 1


sys.exit(main())
