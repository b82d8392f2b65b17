# The tray icon: it appears when a tray starts after Quorvel, there is only
# ever one, and with "ShowIconOnMenuBar" off it is there only while the
# preferences are open.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
start_quorvel
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 \
  --transparent false --tint 0x333333 >/dev/null 2>&1 &
pids+=($!)
# Icons embedded in the tray: windows of class quorvel below trayer's panel.
icons() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {inside=1; next}
                                     inside && /^        0x/ {inside=0}
                                     inside && /\("quorvel" "Quorvel"\)/ {n++} END {print n+0}'; }
one_icon() { [ "$(icons)" = 1 ]; }
no_icon() { [ "$(icons)" = 0 ]; }
wait_for 10000 one_icon || fail "no icon in a tray that started later ($(icons)): $(xwininfo -root -tree | grep -A4 '"panel"')"
# Drawn from its SVG, whose plug-in Debian 13 packages apart.
! grep -q "No Icon set" "$log" || fail "the tray icon has no image: $(cat "$log")"
"$QUORVEL" >/dev/null 2>&1 # reopen: preferences, the icon stays single
sleep 0.5
one_icon || fail "$(icons) icons after reopening"

# Setting off: saved through the preferences' own file, it takes effect when
# the preferences close.
set_setting ShowIconOnMenuBar false
sleep 0.5
one_icon || fail "the icon went before the preferences closed"
prefs=$(xwininfo -root -tree | awk '/"Preferences — Quorvel"/ && !found {print $1; found=1}')
xdotool windowactivate --sync "$prefs" key --clearmodifiers alt+F4
wait_for 3000 no_icon || fail "the icon stayed after the preferences closed ($(icons))"
"$QUORVEL" >/dev/null 2>&1
wait_for 3000 one_icon || fail "opening the preferences did not show the icon ($(icons))"
echo PASS
