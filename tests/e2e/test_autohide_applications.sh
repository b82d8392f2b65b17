# A listed application in front hides the window; another brings it back.
source "$(dirname "$0")/lib.sh"
cat >"$XDG_DATA_HOME/applications/quorvel-test-listed.desktop" <<'DESKTOP'
[Desktop Entry]
Type=Application
Name=Listed
Exec=xmessage
StartupWMClass=quorvel-test-listed
DESKTOP
set_setting AutoHide false
set_setting AutoHideApplications "quorvel-test-listed.desktop;"
xmessage -name quorvel-test-listed -geometry 200x100+100+300 listed &
pids+=($!)
xmessage -name quorvel-test-other -geometry 200x100+400+300 other &
pids+=($!)
# Both mapped and the unlisted one in front before Quorvel starts: whichever
# maps last takes the focus, and a listed one in front rightly keeps the
# stat window hidden from the start.
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-other"
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-listed"
xdotool windowactivate --sync "$(window_of quorvel-test-other)"
start_quorvel
sleep 0.3
stat_window_mapped || fail "hidden for an application that is not listed"
xdotool windowactivate --sync "$(window_of quorvel-test-listed)"
wait_for 400 stat_window_unmapped || fail "still shown with a listed application in front"
xdotool windowactivate --sync "$(window_of quorvel-test-other)"
wait_for 400 stat_window_mapped || fail "not back after another application came to the front"
echo PASS
