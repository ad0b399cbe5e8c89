#!/usr/bin/env bash
# Fails when a string literal in the sources would tell a Linux user something false: a Mac key symbol
# (keys are named through one function, as "Ctrl+Super+L") or a macOS place. Comments, log lines and
# the stored values listed in the allow file keep their words.
# Usage: user_texts.sh <src dir> <allow file>
set -euo pipefail
src=$1
allow=$2

pattern='"[^"]*(⌘|⌥|⌃|⇧|\<Macs?\>|\<Dock\>|iCloud|CloudKit|System Settings)[^"]*"'
allowed=$(grep -vE '^(#|$)' "$allow")

found=$(grep -rnE --include='*.cpp' --include='*.h' "$pattern" "$src" |
        grep -vE '^[^:]+:[0-9]+:[[:space:]]*//' |
        grep -vE 'qC(Info|Warning|Debug|Critical)|^[^:]+:[0-9]+:#include' |
        grep -vF "$allowed" || true)
if [[ -n $found ]]; then
  echo "$found"
  echo "the texts above name a Mac key or a macOS place to the user: say the Linux truth"
  exit 1
fi
