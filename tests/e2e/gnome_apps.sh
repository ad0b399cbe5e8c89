# Shared by the scripts that run GNOME Contacts and GNOME Calendar over Evolution Data Server on the
# script's own session bus (source it after start_session or its equivalent).

# Settings kept in a file in the isolated home (the memory backend would forget them between the
# applications' starts): GNOME Contacts' first-run setup is taken as done, so it shows its contacts.
gnome_settings() {
  mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
  printf '[org/gnome/Contacts]\ndid-initial-setup=true\n' >>"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
  export GSETTINGS_BACKEND=keyfile
  dbus-update-activation-environment GSETTINGS_BACKEND
}

# The document portal that GTK 4 applications start mounts itself in the home's runtime folder: it is
# unmounted before the home is removed.
end_gnome_session() {
  fusermount3 -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true
  end_session
}
trap end_gnome_session EXIT

# The mapped window with this title (a GTK 4 application keeps unmapped ones of the same name).
shown_titled() { xdotool search --onlyvisible --name "^$1\$" | head -n 1 | grep .; }

# recorded <application> <out.json> [a11y_record options...]: the application's interface now.
recorded() {
  RECORD_WAIT_MS=${RECORD_WAIT_MS:-1000} "$recorder" "$@" 2>>"$E2E_HOME/record.log"
}

# shows_card <name>: GNOME Contacts' contact pane shows that card.
shows_card() {
  recorded gnome-contacts "$E2E_HOME/contacts.json" || return 1
  python3 - "$E2E_HOME/contacts.json" "$1" <<'PY'
import json, sys
def walk(e):
    yield e
    for c in e.get("children", []):
        yield from walk(c)
sheets = [e for e in walk(json.load(open(sys.argv[1]))["application"]) if e.get("name") == "ContactsContactSheet"]
sys.exit(0 if any(e.get("text") == sys.argv[2] for s in sheets for e in walk(s)) else 1)
PY
}

# opened_event <title>: GNOME Calendar shows the event's popover.
opened_event() {
  recorded gnome-calendar "$E2E_HOME/calendar.json" || return 1
  python3 - "$E2E_HOME/calendar.json" "$1" <<'PY'
import json, sys
def walk(e):
    yield e
    for c in e.get("children", []):
        yield from walk(c)
for e in walk(json.load(open(sys.argv[1]))["application"]):
    popovers = [c for c in e.get("children", []) if c.get("name") == "GcalEventPopover" and "visible" in c["states"]]
    if e.get("name") == "GcalEventWidget" and popovers and e.get("description", "").split("\n")[0] == sys.argv[2]:
        sys.exit(0)
sys.exit(1)
PY
}

# editing_event <title>: GNOME Calendar's editor is open at the event.
editing_event() {
  recorded gnome-calendar "$E2E_HOME/calendar.json" || return 1
  python3 - "$E2E_HOME/calendar.json" "$1" <<'PY'
import json, sys
def walk(e):
    yield e
    for c in e.get("children", []):
        yield from walk(c)
for e in walk(json.load(open(sys.argv[1]))["application"]):
    if e.get("name") == "GcalSummarySection":
        sys.exit(0 if any(t.get("text") == sys.argv[2] for t in walk(e) if t["role"] == "text") else 1)
sys.exit(1)
PY
}

# The tray icon shows that the item in front has links: its glyph is drawn in the indicator's green.
indicator_on() {
  local pixels
  pixels=$(import -window "$(tray_icon)" -depth 8 txt:- 2>/dev/null) || return 1
  grep -qiE '#[78][0-9A-F][CDE][0-9A-F][78][0-9A-F]' <<<"$pixels"
}
indicator_off() { tray_icon >/dev/null && ! indicator_on; }

