# The fades reach the X server step by step: read off the real window, with the
# server's own timestamps, a fade out goes through about 2/3 and 1/3 before the
# window is withdrawn, and a fade in through about 1/3 and 2/3 to full, each
# step in its own tick about 1/30 s after the one before.
source "$(dirname "$0")/lib.sh"
recorder="${OPACITY_RECORDER:?the opacity recorder (tests/e2e/tools) must be given}"
xdotool mousemove 300 400
set_setting AutoHide true
start_quorvel
read -r x y w h <<<"$(stat_geometry)"
id=$(stat_window)
sleep 1 # Quorvel stops sampling a resting pointer

fade() { # out|in: records one fade into $work/fade-$1
  "$recorder" "$id" 1.2 >"$work/fade-$1" &
  local recorder_pid=$!
  wait_for 2000 grep -q ready "$work/fade-$1" || fail "the recorder did not start"
  if [ "$1" = out ]; then
    xdotool mousemove_relative -- $((x + 10 - 300)) $((y + 10 - 400))
  else
    xdotool mousemove_relative -- $((300 - x - 10)) $((400 - y - 10))
  fi
  wait "$recorder_pid"
  sed -i '/^ready$/d' "$work/fade-$1"
}

# Checks a recorded fade: the steps between the first and last line named,
# their values in order, and the spacing of the server's timestamps.
check_fade() { # out|in
  awk -v direction="$1" '
    function fail(why) { printf "%s: %s\n", direction, why; bad = 1; exit 1 }
    $2 == "opacity" && $3 > 0.05 && $3 < 0.95 { t[++n] = $1; v[n] = $3 }
    $2 == "withdrawn" && !end { end = $1 }
    $2 == "mapped" && !start { start = $1 }
    ($2 == "deleted" || ($2 == "opacity" && $3 >= 0.95)) && direction == "in" && n && !end { end = $1 }
    END {
      if (bad) exit 1
      if (n != 2) fail(n " intermediate steps, not 2")
      if (direction == "out" && !(v[1] > v[2])) fail("not falling")
      if (direction == "in" && !(v[1] < v[2])) fail("not rising")
      if (v[1] < 0.15 || v[1] > 0.85 || v[2] < 0.15 || v[2] > 0.85) fail("steps far from the thirds")
      if (!end) fail("no end")
      gap1 = t[2] - t[1]; gap2 = end - t[2]
      # A tick is 34 ms; a loaded machine may stretch one, never merge two.
      if (gap1 < 12 || gap2 < 12) fail("steps merged: gaps " gap1 " and " gap2 " ms")
      if (gap1 > 90 || gap2 > 90) fail("a step came late: gaps " gap1 " and " gap2 " ms")
      if (direction == "in" && (!start || t[1] - start < 12))
        fail("the first step was not in a tick of its own after the map")
    }' "$work/fade-$1"
}

fade out
stat_window_unmapped || fail "not faded out: $(cat "$work/fade-out")"
check_fade out || fail "fade out: $(cat "$work/fade-out")"
sleep 1
fade in
stat_window_mapped || fail "not faded in: $(cat "$work/fade-in")"
check_fade in || fail "fade in: $(cat "$work/fade-in")"
echo "fade out:"; cat "$work/fade-out"
echo "fade in:"; cat "$work/fade-in"
echo PASS
