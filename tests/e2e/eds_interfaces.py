#!/usr/bin/env python3
"""Checks that the installed Evolution Data Server still answers every member the calendar and contacts
module calls, with the signatures it calls them with.

    eds_interfaces.py MODULE

MODULE is libmorvane-eds.so: each of the service's names it holds must be in the table below, so a name
the module starts to use is checked too. The bus names come from the installed service files, whatever
prefix the service's build gives them. The objects are those of a running service on the session bus:
the registry and a source of it, both factories, and a store and a view as an Open... call answers them.
"""

import glob
import re
import sys
import xml.etree.ElementTree as ElementTree

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

DATASERVER = "org.gnome.evolution.dataserver."
REGISTRY = DATASERVER + "Sources5"
CALENDARS = DATASERVER + "Calendar8"
BOOKS = DATASERVER + "AddressBook10"

# interface: (methods {name: (in, out)}, signals the module follows, properties {name: type}).
# An answer the module accepts in more than one form lists each.
MEMBERS = {
    "org.freedesktop.DBus.ObjectManager": (
        {"GetManagedObjects": ("", ("a{oa{sa{sv}}}",))},
        {"InterfacesAdded", "InterfacesRemoved"},
        {},
    ),
    DATASERVER + "Source": ({}, set(), {"UID": "s", "Data": "s"}),
    DATASERVER + "CalendarFactory": ({"OpenCalendar": ("s", ("ss",))}, set(), {}),
    DATASERVER + "AddressBookFactory": ({"OpenAddressBook": ("s", ("ss",))}, set(), {}),
    DATASERVER + "Calendar": (
        {
            "Open": ("", ("as",)),
            "GetObjectList": ("s", ("as",)),
            "GetTimezone": ("s", ("s",)),
            "GetView": ("s", ("o", "s")),
            "Close": ("", ("",)),
        },
        set(),
        {},
    ),
    DATASERVER + "AddressBook": (
        {
            "Open": ("", ("as",)),
            "GetContactList": ("s", ("as",)),
            "GetView": ("s", ("o", "s")),
            "Close": ("", ("",)),
        },
        set(),
        {},
    ),
    DATASERVER + "CalendarView": (
        {"SetFlags": ("u", ("",)), "Start": ("", ("",)), "Dispose": ("", ("",))},
        {"ObjectsAdded", "ObjectsModified", "ObjectsRemoved"},
        {},
    ),
    DATASERVER + "AddressBookView": (
        {"SetFlags": ("u", ("",)), "Start": ("", ("",)), "Dispose": ("", ("",))},
        {"ObjectsAdded", "ObjectsModified", "ObjectsRemoved"},
        {},
    ),
}

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, file=sys.stderr)


# One connection for the whole check: the service closes what a connection opened once it goes.
BUS = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(destination, path, method, *arguments):
    """The answer's values; method is interface.member, and the arguments are strings."""
    interface, member = method.rsplit(".", 1)
    parameters = GLib.Variant("(%s)" % ("s" * len(arguments)), arguments) if arguments else None
    answer = BUS.call_sync(destination, path, interface, member, parameters, None,
                           Gio.DBusCallFlags.NONE, 60000, None)
    return answer.unpack()


def check(destination, path, interface):
    """Compares the object's interface with what the module calls of it."""
    where = "%s %s %s" % (destination, path, interface)
    node = ElementTree.fromstring(call(destination, path, "org.freedesktop.DBus.Introspectable.Introspect")[0])
    found = node.find("interface[@name='%s']" % interface)
    if found is None:
        fail("%s: no such interface" % where)
        return
    methods, signals, properties = MEMBERS[interface]
    for name, (wanted_in, wanted_out) in methods.items():
        method = found.find("method[@name='%s']" % name)
        if method is None:
            fail("%s: no method %s" % (where, name))
            continue
        arguments = method.findall("arg")
        given = "".join(a.get("type") for a in arguments if a.get("direction", "in") == "in")
        answered = "".join(a.get("type") for a in arguments if a.get("direction") == "out")
        if given != wanted_in or answered not in wanted_out:
            fail("%s: %s takes (%s) and answers (%s); the module calls it with (%s) for (%s)"
                 % (where, name, given, answered, wanted_in, " or ".join(wanted_out)))
    for name in signals:
        if found.find("signal[@name='%s']" % name) is None:
            fail("%s: no signal %s" % (where, name))
    for name, wanted in properties.items():
        prop = found.find("property[@name='%s']" % name)
        if prop is None or prop.get("type") != wanted or "read" not in prop.get("access", ""):
            fail("%s: no readable property %s of type %s" % (where, name, wanted))
    print("checked %s" % where)


def installed_names():
    """The service's bus names as its installed service files give them, by what they name."""
    names = {}
    for service in glob.glob("/usr/share/dbus-1/services/*.service"):
        with open(service, encoding="utf-8") as text:
            for line in text:
                match = re.fullmatch(r"Name=(.*org\.gnome\.evolution\.dataserver\.(Sources|Calendar|AddressBook)\d+)\s*",
                                     line)
                if match:
                    names.setdefault(match.group(2), []).append(match.group(1))
    return names


def main():
    with open(sys.argv[1], "rb") as module:
        used = set(re.findall(rb"org\.gnome\.evolution\.dataserver\.[A-Za-z0-9]+", module.read()))
    used = {name.decode() for name in used}
    for name in sorted(used - set(MEMBERS) - {REGISTRY, CALENDARS, BOOKS}):
        fail("the module names %s, which this check does not know" % name)

    installed = installed_names()
    for kind, name in (("Sources", REGISTRY), ("Calendar", CALENDARS), ("AddressBook", BOOKS)):
        if name not in used:
            fail("the module does not name %s" % name)
        if name not in installed.get(kind, []):
            fail("the installed service names itself %s; the module calls %s"
                 % (", ".join(installed.get(kind, [])) or "nothing", name))
    if failures:
        return 1

    manager = "/org/gnome/evolution/dataserver/SourceManager"
    check(REGISTRY, manager, "org.freedesktop.DBus.ObjectManager")
    # The module reads each source's UID and Data from this answer.
    objects = call(REGISTRY, manager, "org.freedesktop.DBus.ObjectManager.GetManagedObjects")[0]
    sources = sorted(path for path, interfaces in objects.items()
                     if all(isinstance(interfaces.get(DATASERVER + "Source", {}).get(key), str)
                            for key in ("UID", "Data")))
    if not sources:
        fail("the registry lists no source with a UID and Data")
    else:
        check(REGISTRY, sources[0], DATASERVER + "Source")

    for name, factory, kind, uid, query in (
            (CALENDARS, "CalendarFactory", "Calendar", "system-calendar", "#t"),
            (BOOKS, "AddressBookFactory", "AddressBook", "system-address-book",
             '(contains "x-evolution-any-field" "")')):
        factory_path = "/org/gnome/evolution/dataserver/" + factory
        check(name, factory_path, DATASERVER + factory)
        open_method = "Open" + kind
        opened = call(name, factory_path, DATASERVER + factory + "." + open_method, uid)
        if len(opened) != 2:
            fail("%s answered %s" % (open_method, opened))
            continue
        path, bus_name = opened
        check(bus_name, path, DATASERVER + kind)
        call(bus_name, path, DATASERVER + kind + ".Open")
        view = call(bus_name, path, DATASERVER + kind + ".GetView", query)
        if len(view) != 1:
            fail("GetView of a %s answered %s" % (kind, view))
            continue
        check(bus_name, view[0], DATASERVER + kind + "View")
        call(bus_name, view[0], DATASERVER + kind + "View.Dispose")
        call(bus_name, path, DATASERVER + kind + ".Close")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
