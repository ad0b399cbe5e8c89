#!/usr/bin/env python3
"""Fails when a library of src/ links a dependency PUBLIC that none of its headers includes.

A PUBLIC link hands the dependency's include paths and link line to every later library; it is only
owed when a header of the library, which later libraries include, itself includes the dependency's
headers. Everything else is PRIVATE, so a later layer that uses a lower one says so in its own link line.

Usage: layer_links.py <src dir> "<Qt include directories>"
"""

import re
import sys
from pathlib import Path

# Headers of the third-party targets, by the prefix of their include paths.
EXTERNAL_PREFIXES = {
    "QCoro6::Core": ("<QCoro", "<qcoro/"),
    "nlohmann_json::nlohmann_json": ("<nlohmann/",),
    "SQLite::SQLite3": ("<sqlite3.h>",),
    "OpenSSL::Crypto": ("<openssl/",),
    "ICU::uc": ("<unicode/",),
    "ICU::i18n": ("<unicode/",),
    "PkgConfig::XCB": ("<xcb/",),
    "PkgConfig::ATSPI": ("<atspi/", "<glib", "<gio/"),
    "PkgConfig::EDS": ("<libecal/", "<libebook/", "<libedataserver/"),
}

INCLUDE = re.compile(r'^\s*#\s*include\s+([<"][^>"]+[>"])', re.MULTILINE)
LINK_CALL = re.compile(r"target_link_libraries\(\s*([A-Za-z0-9_:]+)(.*?)\)", re.DOTALL)


def qt_module_headers(include_dirs):
    """Maps each Qt module target to the names its headers are included by."""
    root = next((Path(d) for d in include_dirs if (Path(d) / "QtCore").is_dir()), None)
    if root is None:
        sys.exit("layer_links.py: no Qt include directory among " + " ".join(include_dirs))
    modules = {}
    for folder in root.glob("Qt*"):
        names = {f"<{folder.name}/"}
        names.update(f"<{header.name}>" for header in folder.iterdir() if header.name.startswith("Q"))
        modules[f"Qt6::{folder.name[2:]}"] = names
    return modules


def target_folder(src, target):
    """The folder whose headers a morvane_ library exports, or None for a target of another kind."""
    if not target.startswith("morvane_"):
        return None
    name = target[len("morvane_"):]
    if name.endswith("_widgets"):
        return src / name[: -len("_widgets")] / "widgets"
    return src / name


def provided_by(src, dependency, qt_modules):
    """A predicate telling whether an include line's target comes from the dependency."""
    folder = target_folder(src, dependency)
    if folder is not None:
        prefix = '"' + folder.relative_to(src).as_posix() + "/"
        nested = [prefix + "widgets/"] if not dependency.endswith("_widgets") else []
        return lambda target: target.startswith(prefix) and not any(target.startswith(n) for n in nested)
    if dependency in qt_modules:
        names = qt_modules[dependency]
        return lambda target: target in names or any(target.startswith(n) for n in names if n.endswith("/"))
    if dependency in EXTERNAL_PREFIXES:
        prefixes = EXTERNAL_PREFIXES[dependency]
        return lambda target: target.startswith(prefixes)
    return None


def public_links(cmake_text):
    """(target, dependency, line) for each dependency named after PUBLIC in a target_link_libraries call."""
    for call in LINK_CALL.finditer(cmake_text):
        target, arguments = call.group(1), call.group(2)
        line = cmake_text.count("\n", 0, call.start()) + 1
        scope = None
        for word in arguments.split():
            if word in ("PUBLIC", "PRIVATE", "INTERFACE"):
                scope = word
            elif scope == "PUBLIC":
                yield target, word, line


def main():
    src = Path(sys.argv[1]).resolve()
    qt_modules = qt_module_headers(sys.argv[2].split(";") if len(sys.argv) > 2 else [])
    status = 0
    for cmake_file in sorted(src.rglob("CMakeLists.txt")):
        for target, dependency, line in public_links(cmake_file.read_text()):
            folder = target_folder(src, target)
            where = f"{cmake_file}:{line}"
            if folder is None or not folder.is_dir():
                print(f"{where}: {target} is not a library of src/, so nothing later needs its links PUBLIC")
                status = 1
                continue
            provides = provided_by(src, dependency, qt_modules)
            if provides is None:
                print(f"{where}: {target} links {dependency} PUBLIC, a dependency this check cannot see in "
                      "headers: teach layer_links.py its include paths")
                status = 1
                continue
            includes = (t for header in folder.glob("*.h") for t in INCLUDE.findall(header.read_text()))
            if not any(provides(t) for t in includes):
                print(f"{where}: {target} links {dependency} PUBLIC, but no header in {folder.relative_to(src)}/ "
                      "includes it: make it PRIVATE")
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
