# The X server goes away: Quorvel ends, and leaves no helper behind.
source "$(dirname "$0")/lib.sh"
n=$(( 150 + RANDOM % 50 ))
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$(( n + 1 )); done
Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=":$n" "$QUORVEL" >>"$log" 2>&1 &
pid=$!
pids+=("$pid")
wait_for 5000 bash -c "pgrep -P $pid -f quorvel-netstat >/dev/null" || fail "no helper started"
helper=$(pgrep -P "$pid" -f quorvel-netstat)
kill "$xvfb"
wait_for 5000 ended "$pid" || fail "Quorvel outlived its X server"
wait_for 3000 ended "$helper" || fail "the helper outlived Quorvel"
echo PASS
