#!/usr/bin/env bash
# Thunderbird with an IMAP account on a local server (Dovecot, run by the test's own user on a high
# port over a maildir made here): once Thunderbird has synchronised the Inbox's offline copy, the
# message selected in its list is what the quick panel offers and saves with Return, as the message:
# link of its Message-ID; the tray indicator turns on, and the saved link reopens the message.
set -euo pipefail
binary=$1
. "$(dirname "$0")/e2e_common.sh"
as_unprivileged_user "$0" "$@"
own_bus "$0" "$@"
start_session "$@"
accessibility_on
accessibility_ready

# The server: one user (any name, password "secret") whose Inbox holds two messages.
imap=$E2E_HOME/imap
port=$((20000 + RANDOM % 20000))
mkdir -p "$imap/run" "$imap/Maildir/cur" "$imap/Maildir/new" "$imap/Maildir/tmp"
add_message() { # <file> <Message-ID> <date> <from> <subject>
  printf 'Message-ID: <%s>\nDate: %s\nFrom: %s\nTo: Ada Lovelace <ada@example.org>\nSubject: %s\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\nAbout %s.\n' \
    "$2" "$3" "$4" "$5" "$5" >"$imap/Maildir/cur/$1:2,"
}
add_message 1796630001.M1P1.e2e launch.checklist@example.org "Mon, 07 Dec 2026 08:10:00 +0000" \
  "Grace Hopper <grace@example.org>" "Launch checklist"
add_message 1796630002.M2P1.e2e budget.review@example.org "Mon, 07 Dec 2026 09:20:00 +0000" \
  "Alan Turing <alan@example.org>" "Budget review"
cat >"$imap/dovecot.conf" <<CONF
protocols = imap
listen = 127.0.0.1
base_dir = $imap/run
state_dir = $imap/state
instance_name = morvane-e2e-$port
log_path = $E2E_HOME/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
default_login_user = $(id -un)
default_internal_user = $(id -un)
default_internal_group = $(id -gn)
mail_location = maildir:$imap/Maildir
passdb {
  driver = static
  args = password=secret
}
userdb {
  driver = static
  args = uid=$(id -un) gid=$(id -gn) home=$imap
}
service imap-login {
  chroot =
  inet_listener imap {
    address = 127.0.0.1
    port = $port
  }
  inet_listener imaps {
    port = 0
  }
}
service anvil {
  chroot =
}
service stats {
  chroot =
}
CONF
/usr/sbin/dovecot -F -c "$imap/dovecot.conf" &
server=$!
# Listening, and not another program on the port chosen: the server still runs.
server_listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && kill -0 "$server"; }
wait_for 15 server_listening || fail "the IMAP server did not listen on port $port"

# The profile is the default one, so that a plain "thunderbird mid:…" reaches it.
profile=$E2E_HOME/.thunderbird/e2e
mkdir -p "$E2E_HOME/.thunderbird"
cp -r "$(dirname "$0")/data/thunderbird-imap-profile" "$profile"
sed -i "s/14300/$port/" "$profile/user.js"
printf '[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=e2e\nIsRelative=1\nPath=e2e\nDefault=1\n' \
  >"$E2E_HOME/.thunderbird/profiles.ini"
export MOZ_LEGACY_PROFILES=1
url='message://%3Cbudget.review%40example.org%3E'
start_app_ready

thunderbird >"$E2E_HOME/thunderbird.log" 2>&1 &
# No password is stored: Thunderbird asks for it as it first logs in.
wait_for 60 window_titled "Enter your password for ada" || fail "thunderbird did not ask for the password"
activate "$(window_titled "Enter your password for ada")"
xdotool type --delay 20 secret
xdotool key Return
inbox() { xdotool search --name '^Inbox - ada@127.0.0.1 - Mozilla Thunderbird$' | head -n 1; }
wait_for 30 inbox || fail "thunderbird did not show the IMAP Inbox"
offline_copy() { grep -qs 'budget.review@example.org' "$profile"/ImapMail/127.0.0.1/INBOX*; }
wait_for 30 offline_copy || fail "thunderbird kept no offline copy of the Inbox"
activate "$(inbox)"

# The message's row is clicked where the accessibility bus says the list shows it, as a user clicks
# what is on screen, until the list says it is selected: the list moves as the window changes around
# it (a tab bar that appears pushes it down), and on a loaded machine a click at a fixed place now and
# then selected nothing.
saved() { [ "$(sql "SELECT COUNT(*) FROM links WHERE url = '$url' AND type = 'mail'
  AND title = 'Budget review - Alan Turing <alan@example.org>' AND source_app = 'Thunderbird'")" = 1 ]; }
texts=$(dirname "$0")/accessible_texts.py
row_selected() { "$texts" row Thunderbird "Budget review" | grep -q ' selected$'; }
# Clicked again only once the last click has had its time: two clicks close together open the message.
select_row() {
  local x y state
  read -r x y state < <("$texts" row Thunderbird "Budget review") || return 1
  [ "$state" = selected ] || { xdotool mousemove "$x" "$y" click 1 && wait_for 5 row_selected; }
}
wait_for 30 select_row || fail "Thunderbird's list did not select the row of Budget review"
save_capture saved "the selected IMAP message"
wait_for 10 indicator_on || fail "the indicator did not turn on over the saved IMAP message"

# The saved link opens the message in a window of its own.
message_window() { xdotool search --name '^Budget review - Mozilla Thunderbird$'; }
open_row() {
  panel >/dev/null || { show_panel; xdotool type --delay 20 "Budget"; }
  xdotool key Return
  wait_for 15 message_window
}
wait_for 40 open_row || fail "the saved IMAP message did not open in Thunderbird"
echo "PASS"
