# Reads the tray indicator from the tray itself, as a user sees it: the icon's pixels on the screen.
# With links for the item in front the icon is drawn in the indicator's green; the plain icon has no
# green pixel at all. Sourced after e2e_common.sh.

# The number of green pixels in the tray icon as the screen shows it now.
indicator_pixels() {
  local icon X Y WIDTH HEIGHT SCREEN
  icon=$(tray_icon) || return 1
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[(),]' 'NR > 1 && $4 - $3 > 40 && $4 - $5 > 40 { n++ } END { print n + 0 }'
}
indicator_is_on() { [ "$(indicator_pixels)" -gt 20 ]; }
indicator_is_off() { [ "$(indicator_pixels)" = 0 ]; }

# expect_indicator on|off <what>: within a poll and a capture (the monitor polls every 3 seconds).
expect_indicator() {
  wait_for 12 "indicator_is_$1" || fail "the tray indicator is not $1 $2 ($(indicator_pixels) green pixels)"
}

# away_and_back <window> <what>: another window in front turns the indicator off; back, it is on again.
away_and_back() {
  local other
  other=$(window_titled "Elsewhere") || true
  if [ -z "$other" ]; then
    xterm -T Elsewhere >/dev/null 2>&1 &
    wait_for 15 window_titled "Elsewhere" || fail "the other window did not appear"
    other=$(window_titled "Elsewhere")
  fi
  activate "$other"
  expect_indicator off "with another window in front of $2"
  activate "$1"
  expect_indicator on "back at $2"
}
