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

# shows <application> <question> <subject>: what a11y_tree.py answers about the application's
# interface now.
a11y_tree=$(dirname "${BASH_SOURCE[0]}")/a11y_tree.py
shows() { recorded "$1" "$E2E_HOME/$1.json" && "$a11y_tree" "$E2E_HOME/$1.json" "$2" "$3"; }
shows_card() { shows gnome-contacts card "$1"; }        # the contact pane shows the card
opened_event() { shows gnome-calendar popover "$1"; }   # the event's popover is open
editing_event() { shows gnome-calendar editor "$1"; }   # the editor is open at the event


