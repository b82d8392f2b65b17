# A machine with hundreds of processors (a /proc/stat of 256, then 1,024,
# bound over the real one in a mount namespace of Quorvel's own): the graphs
# wrap into rows, the window stays within the screen's work area and half its
# height, and the last slot holds a drawn graph, so every processor is seen.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
unshare -m true 2>/dev/null || { echo "SKIP: no mount namespace here"; exit 77; }

for processors in 256 1024; do
  stat="$work/stat-$processors"
  fake_proc_stat "$processors" >"$stat"
  unshare -m bash -c 'mount --bind "$1" /proc/stat && exec "$2"' _ "$stat" "$QUORVEL" >>"$log" 2>&1 &
  quorvel_pid=$!
  pids+=("$quorvel_pid")
  stat_id=""
  wait_for 10000 stat_window_mapped || fail "$processors processors: the stat window never appeared"
  read -r x y w h <<<"$(stat_geometry)"
  # 15 slots of 66 units to a 1024-unit row, 5 rows in half of 768.
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1024 ] && [ "$h" -le 384 ] ||
    fail "$processors processors: the window ${w}×${h}+$x+$y is not within the work area's upper half"
  [ "$w" = $((15 * 66 - 2)) ] || fail "$processors processors: $w wide, not 15 graphs"
  case $processors in
    256) graphs=65; last="#253–256" ;;  # the network graph and 64 graphs of 4
    1024) graphs=75; last="1023–1024" ;; # 74 of 14, the last of 2
  esac
  rows=$(( (graphs + 14) / 15 ))
  [ "$h" = $((rows * 66 - 2)) ] || fail "$processors processors: $h high, not $rows rows"
  # The last slot is a graph: light title text over the graph's dark
  # background, where the desktop behind is a middle grey.
  slot=$((graphs - 1))
  slot_x=$((x + slot % 15 * 66)) slot_y=$((y + slot / 15 * 66))
  drawn_graph() {
    import -display "$(screen_display)" -window root "$work/slot.png"
    local title plot
    title=$(convert "$work/slot.png" -crop "64x12+$slot_x+$slot_y" -colorspace Gray \
      -format '%[fx:int(maxima * 255)]' info:)
    plot=$(convert "$work/slot.png" -crop "60x40+$((slot_x + 2))+$((slot_y + 20))" \
      -colorspace Gray -format '%[fx:int(mean * 255)]' info:)
    [ "$title" -gt 200 ] && [ "$plot" -lt 100 ]
  }
  wait_for 3000 drawn_graph || fail "$processors processors: no graph in the last slot ($last)"
  screenshot "many-processors-$processors"
  end_within 10 "$quorvel_pid" || fail "$processors processors: it did not end"
done
echo PASS
