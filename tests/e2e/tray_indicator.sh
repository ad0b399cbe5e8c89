# What the tray indicator tests share (the indicator itself is read by e2e_common.sh from the tray
# icon's pixels on the screen). Sourced after e2e_common.sh.

# expect_indicator on|off <what>: within a poll and a capture (the monitor polls every 3 seconds).
expect_indicator() {
  wait_for 12 "indicator_$1" || fail "the tray indicator is not $1 $2 ($(indicator_green_pixels) green pixels)"
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
