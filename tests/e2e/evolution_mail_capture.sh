#!/usr/bin/env bash
# Evolution with a local maildir account written as its source files before it starts, and its
# first-run settings set, so that neither its setup assistant nor a question shows: the message its
# mail view selects is what the quick panel offers and saves, as the message: link of its Message-ID,
# and the tray's indicator turns on, as it does over the message opened in a window of its own; so is
# the message of an IMAP account (run as an ordinary user, whom the server serves). With
# Evolution the desktop's mail program, the saved link reopens
# the message in Evolution (its search of all accounts, with the message selected), which is captured
# there as the same link. With its preview hidden, or its calendar in front, the panel says where a
# message is captured. With Evolution not running, the link starts it at the message.
#   evolution_mail_capture.sh MORVANE [--record FILE A11Y_RECORD]
# With --record it only records the mail view, its message selected, into FILE (tests/capture/trees).
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
# The IMAP server refuses to serve root.
[ "${2:-}" = --record ] || as_unprivileged_user "$0" "$@"
own_bus "$0" "$@"
. "$(dirname "$0")/tray_indicator.sh"
start_session "$@"
trap 'fusermount -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true; end_session' EXIT
accessibility_on
accessibility_ready
texts=$(dirname "$0")/accessible_texts.py

# The account "Notes": a maildir in the home, with its identity and a transport, as Evolution's own
# account editor writes them.
maildir=$E2E_HOME/Mail
mkdir -p "$maildir"/{cur,new,tmp}
message() { # <unique name> <Message-ID> <date> <from> <subject> <body>
  printf 'Message-ID: <%s>\nDate: %s\nFrom: %s\nTo: nobody@localhost\nSubject: %s\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n%s\n' \
    "$2" "$3" "$4" "$5" "$6" >"$maildir/cur/$1:2,S"
}
message 1765094400.M1P1.e2e first.plan@example.org 'Mon, 07 Dec 2026 08:00:00 +0000' \
  'Ada Lovelace <ada@example.org>' 'Quarterly plan' 'The plan for the quarter.'
message 1765098900.M2P1.e2e second.notes@example.org 'Mon, 07 Dec 2026 09:15:00 +0000' \
  '=?UTF-8?B?R3LDpWNlIEhvcHBlcg==?= <grace@example.org>' '=?UTF-8?Q?Caf=C3=A9_notes?=' 'Notes from the café.'
sources=$XDG_CONFIG_HOME/evolution/sources
mkdir -p "$sources"
printf '[Data Source]\nDisplayName=Notes\nEnabled=true\nParent=\n\n[Mail Account]\nBackendName=maildir\nIdentityUid=e2e-identity\nNeedsInitialSetup=false\n\n[Maildir Backend]\nPath=%s\nFilterInbox=false\n\n[Refresh]\nEnabled=false\n' \
  "$maildir" >"$sources/e2e-account.source"
printf '[Data Source]\nDisplayName=Notes\nEnabled=true\nParent=e2e-account\n\n[Mail Identity]\nAddress=nobody@localhost\nName=Nobody\n\n[Mail Submission]\nTransportUid=e2e-transport\n' \
  >"$sources/e2e-identity.source"
printf '[Data Source]\nDisplayName=Notes\nEnabled=true\nParent=e2e-account\n\n[Mail Transport]\nBackendName=sendmail\n' \
  >"$sources/e2e-transport.source"
# The account "Server": IMAP, its server (Dovecot over a maildir) started by Evolution itself as the
# account's connection command, which logs the user in at once.
imap=$E2E_HOME/imap
mkdir -p "$imap/Maildir/cur" "$imap/Maildir/new" "$imap/Maildir/tmp"
printf 'Message-ID: <budget.review@example.org>\nDate: Mon, 07 Dec 2026 09:20:00 +0000\nFrom: Alan Turing <alan@example.org>\nTo: nobody@localhost\nSubject: Budget review\n\nAbout the budget.\n' \
  >"$imap/Maildir/cur/1796630002.M2P1.e2e:2,"
printf 'protocols = imap\nbase_dir = %s/run\nstate_dir = %s/state\nlog_path = %s/dovecot.log\nssl = no\nmail_location = maildir:%s/Maildir\ndefault_internal_user = %s\ndefault_internal_group = %s\n' \
  "$imap" "$imap" "$E2E_HOME" "$imap" "$(id -un)" "$(id -gn)" >"$imap/dovecot.conf"
printf '#!/bin/sh\nexec env USER=%s HOME=%s /usr/lib/dovecot/imap -c %s/dovecot.conf\n' "$(id -un)" "$imap" "$imap" \
  >"$imap/connect"
chmod +x "$imap/connect"
printf '[Data Source]\nDisplayName=Server\nEnabled=true\nParent=\n\n[Mail Account]\nBackendName=imapx\nIdentityUid=e2e-identity\nNeedsInitialSetup=false\n\n[Authentication]\nHost=localhost\nPort=143\nUser=%s\n\n[Imapx Backend]\nUseShellCommand=true\nShellCommand=%s/connect\nFilterInbox=false\n\n[Security]\nMethod=none\n' \
  "$(id -un)" "$imap" >"$sources/e2e-imap.source"
# Settings in a file of the home: this version seen (no migration), no assistant, no question about the
# default mail program, the mail view first.
mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<SETTINGS
[org/gnome/evolution]
version='$(dpkg-query -W -f='${Version}' evolution | sed 's/-.*//')'

[org/gnome/evolution/mail]
show-startup-wizard=false
prompt-check-if-default-mailer=false

[org/gnome/evolution/shell]
default-component-id='mail'
skip-warning-dialog=true
SETTINGS
export GSETTINGS_BACKEND=keyfile
dbus-update-activation-environment GSETTINGS_BACKEND
# Evolution is the desktop's mail program, as the generic desktop finds it.
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
xdg-mime default org.gnome.Evolution.desktop x-scheme-handler/mailto

url='message://%3Csecond.notes%40example.org%3E'
[ "${2:-}" = --record ] || start_app_ready

evolution >"$E2E_HOME/evolution.log" 2>&1 &
# Started, it shows its mail view, titled "Mail" until a folder is chosen (a window of that title may
# come and go first).
shown_titled() { xdotool search --onlyvisible --name "^$1\$" | head -n 1 | grep .; }
placed() {
  main=$(shown_titled Mail) && xdotool windowsize "$main" 1000 740 windowmove "$main" 0 0
}
wait_for 90 placed || fail "evolution did not show its mail view"
# Opening the folder selects its newest message, Café notes, which the preview then shows.
evolution folder://e2e-account/Inbox >>"$E2E_HOME/evolution.log" 2>&1
wait_for 20 window_titled Inbox || fail "evolution did not open the Inbox"
activate "$main"

if [ "${2:-}" = --record ]; then
  RECORD_WAIT_MS=30000 "$4" evolution "$3" --until "Notes from the café" --note "Evolution \
$(dpkg-query -W -f='${Version}' evolution | sed 's/-.*//') on Debian, its mail view at the Inbox of a \
local maildir account (uid e2e-account, shown as Notes) holding Quarterly plan from Ada Lovelace and \
Café notes from Gråce Hopper (unique name 1765098900.M2P1.e2e), Café notes selected by opening the \
folder (evolution folder://e2e-account/Inbox). No cell of the message list is marked selected, and the \
list's selected children cannot be read: the row holding the list's cursor (its focused cell) is the \
selected one. The preview's document names the message by account, folder and unique name in its URI \
attribute. Menus are left out." || fail "the mail view was not recorded"
  echo "recorded into $3"
  exit 0
fi

saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'mail'
  AND source_app = 'Evolution' AND title = 'Café notes - Gråce Hopper <grace@example.org>'")" = 1 ]; }
save_capture saved "Evolution's selected message"
expect_indicator on "over the saved message"
away_and_back "$main" "Evolution's saved message"

# Opened in a window of its own (a double click on its row), the message is the same link.
activate "$main"
xdotool mousemove 500 220 click --repeat 2 --delay 80 1
wait_for 20 window_titled "Café notes" || fail "the message did not open in a window of its own"
away_and_back "$(window_titled "Café notes")" "the message's own window"
xdotool key ctrl+w
wait_for 10 bash -c '! xdotool search --name "^Café notes\$"' || fail "the message's window did not close"
activate "$main"

# The IMAP account's message, from the copy Evolution keeps of the message it shows.
evolution folder://e2e-imap/INBOX >>"$E2E_HOME/evolution.log" 2>&1
imap_saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = 'message://%3Cbudget.review%40example.org%3E'
  AND source_app = 'Evolution' AND title = 'Budget review - Alan Turing <alan@example.org>'")" = 1 ]; }
save_capture imap_saved "the IMAP account's message"
# Back at the local Inbox, Evolution selects the message it selected there before.
evolution folder://e2e-account/Inbox >>"$E2E_HOME/evolution.log" 2>&1
activate "$main"

# The saved link reopens its message: Evolution searches all its accounts for the Message-ID and
# selects the one message found, which is captured there as the same link.
reopen() {
  panel >/dev/null || { show_panel; select_by_typing "notes" "$url"; }
  xdotool key Return
  wait_for 15 window_titled "All Account Search"
}
wait_for 40 reopen || fail "the saved message did not open in Evolution"
away_and_back "$(window_titled "All Account Search")" "the message reopened in Evolution's search"

# With the preview pane hidden, or the calendar in front, the mail view keeps its last preview out of
# sight: no message is captured, and the panel says where one is.
message_is() { "$texts" texts morvane | grep -xF -- "$1" >/dev/null; }
panel_says_where() {
  show_panel
  wait_for 15 message_is "Select a message in Evolution's mail view to capture it." ||
    fail "the panel over Evolution $1 says: $("$texts" texts morvane | paste -sd'|' -)"
  xdotool key Escape
  wait_for 10 no_panel || fail "Escape did not hide the panel"
}
xdotool key ctrl+m
expect_indicator off "with Evolution's preview hidden"
panel_says_where "with its preview hidden"
# Polls that find the list and no preview do not walk the window again until Evolution announces a
# change: the preview shown again is one, and its message is captured again.
activate "$main"
xdotool key ctrl+m
expect_indicator on "with Evolution's preview shown again"
xdotool key ctrl+3
wait_for 20 window_titled Calendar || fail "evolution did not show its calendar"
panel_says_where "showing its calendar"

# Evolution not running: the link starts it, at the message.
evolution_pid=$(xdotool getwindowpid "$main")
kill "$evolution_pid"
wait_for 20 process_gone "$evolution_pid" || fail "evolution did not end"
start_row() {
  panel >/dev/null || { show_panel; xdotool type --delay 20 "notes"; }
  xdotool key Return
  wait_for 30 window_titled "All Account Search"
}
wait_for 90 start_row || fail "the saved message did not start Evolution at it"
echo "PASS"
