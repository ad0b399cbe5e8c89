#!/usr/bin/env python3
"""Answers a question about an interface that a11y_record wrote, by its exit status:
  a11y_tree.py TREE.json card NAME     GNOME Contacts shows the card of NAME
  a11y_tree.py TREE.json popover TITLE GNOME Calendar shows the popover of the event TITLE
  a11y_tree.py TREE.json editor TITLE  GNOME Calendar's editor is open at the event TITLE
"""
import json
import sys


def walk(element):
    yield element
    for child in element.get("children", []):
        yield from walk(child)


def named(root, name):
    return [e for e in walk(root) if e.get("name") == name]


def shows_card(root, name):
    return any(e.get("text") == name for sheet in named(root, "ContactsContactSheet") for e in walk(sheet))


def shows_popover(root, title):
    for widget in named(root, "GcalEventWidget"):
        popovers = [c for c in widget.get("children", [])
                    if c.get("name") == "GcalEventPopover" and "visible" in c.get("states", [])]
        if popovers and widget.get("description", "").split("\n")[0] == title:
            return True
    return False


def edits(root, title):
    return any(e["role"] == "text" and e.get("text") == title
               for section in named(root, "GcalSummarySection") for e in walk(section))


tree, question, subject = sys.argv[1:4]
root = {"children": json.load(open(tree))["frames"]}
answer = {"card": shows_card, "popover": shows_popover, "editor": edits}[question]
sys.exit(0 if answer(root, subject) else 1)
