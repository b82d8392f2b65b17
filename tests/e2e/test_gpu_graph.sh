# The GPU graph of the real program on a recorded DRM tree (an AMD card of
# 8 GB: 37 % busy, 1 GB in use) bound over /sys/class/drm in a mount
# namespace of Quorvel's own, beside a stand-in NVIDIA card (the tests' NVML
# library as libnvidia-ml.so.1: 24 GB, 42 % busy, 6 GB in use). Load and
# memory are read back from the screen at their heights; an unplugged card
# greys its columns.
source "$(dirname "$0")/lib.sh"
unshare -m true 2>/dev/null || { echo "SKIP: no mount namespace here"; exit 77; }
[ -n "${STAND_IN_NVML:-}" ] || fail "STAND_IN_NVML names no stand-in library"

fixtures="$(dirname "$0")/../fixtures/drm"
mkdir -p "$work/drm" "$work/nvml"
cp -r "$fixtures/amd-one/card0" "$work/drm/card0"
cp -r "$fixtures/nvidia/card0" "$work/drm/card1"
cp "$STAND_IN_NVML" "$work/nvml/libnvidia-ml.so.1"

set_setting AutoHide false
set_setting ShowCPUGraph false
set_setting ShowNetGraph false
set_setting ShowGPUGraph true
set_setting GPULoadFillColor "#00ff00ff"
set_setting GPUMemoryFillColor "#ff0000ff"

# Runs Quorvel with the tree as /sys/class/drm. Where the machine has no
# /sys/class/drm (a virtual one), /sys/class is replaced by links to its own
# entries and to the tree.
start_on_tree() {
  LD_LIBRARY_PATH="$work/nvml" QUORVEL_STAND_IN_NVML=answers unshare -m bash -c '
    if [ -d /sys/class/drm ]; then
      mount --bind "$1" /sys/class/drm
    else
      mkdir -p "$2/real" "$2/class" && mount --bind /sys/class "$2/real"
      for entry in "$2"/real/*; do ln -sfn "$entry" "$2/class/"; done
      ln -sfn "$1" "$2/class/drm" && mount --bind "$2/class" /sys/class
    fi
    exec "$3"' _ "$work/drm" "$work/sysclass" "$QUORVEL" >>"$log" 2>&1 &
  quorvel_pid=$!
  pids+=("$quorvel_pid")
  stat_id=""
  wait_for 5000 stat_window_mapped || fail "the stat window never appeared"
  read -r x y w h <<<"$(stat_geometry)"
  [ "$w" = "$(scaled 64)" ] || fail "the window is $w wide, not one graph"
}

# The colour at column $1 (counted from the graph's left edge), $2 units up
# from the graph's bottom: load (green), memory (red) or neither.
colour_at() {
  local r g b
  read -r r g b <<<"$(pixel_of "$work/shot.png" $((x + $1)) $((y + h - 1 - $2)))"
  if [ "$g" -gt 150 ] && [ "$r" -lt 100 ]; then echo load
  elif [ "$r" -gt 150 ] && [ "$g" -lt 100 ]; then echo memory
  else echo "neither"; fi
}
# Column 2 shows: load from the baseline to $1 units, the memory line at $2.
shows() {
  import -display "$(screen_display)" -window root "$work/shot.png"
  [ "$(colour_at 2 2)" = load ] && [ "$(colour_at 2 "$2")" = memory ] &&
    [ "$(colour_at 2 $(($1 - 1)))" = load ] && [ "$(colour_at 2 $(($1 + 2)))" = neither ]
}

# By default the GPU with the most memory: NVIDIA's, 42 % of the plot's
# 51 units, its memory line at a quarter.
start_on_tree
wait_for 6000 shows 22 13 || fail "NVIDIA's card is not drawn at 42 % load and 25 % memory"
screenshot gpu-graph-nvidia
end_within 10 "$quorvel_pid" || fail "it did not end"

# The AMD card when chosen: 37 % (19 units), its memory line at 6.
set_setting GPUDevice card0
start_on_tree
wait_for 6000 shows 19 6 || fail "the AMD card is not drawn at 37 % load and 1/8 memory"
screenshot gpu-graph-amd
# Unplugged: its newest columns grey to the top of the plot; back, drawn
# again.
plot_row() { # the mean brightness of the row $1 units up, over every column
  mean_brightness $((x + 1)) $((y + h - 1 - $1)) 62 1
}
load_columns() { # how many columns show load just above the baseline
  import -display "$(screen_display)" -window root "$work/shot.png"
  convert "$work/shot.png" -crop "62x1+$((x + 1))+$((y + h - 3))" -depth 8 txt:- |
    sed -n 's/^[^(]*( *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3/p' |
    awk '$2 > 150 && $1 < 100' | wc -l
}
empty_row=$(plot_row 40)
mv "$work/drm/card0" "$work/drm/unplugged"
wait_for 4000 grep -q "The GPU AMD is gone" "$log" || fail "the vanished card is not said"
greyed() { [ "$(plot_row 40)" -gt "$empty_row" ]; }
wait_for 3000 greyed || fail "the vanished card's columns are not grey"
screenshot gpu-graph-gone
drawn=$(load_columns)
mv "$work/drm/unplugged" "$work/drm/card0"
drawn_again() { [ "$(load_columns)" -gt "$drawn" ]; }
wait_for 4000 drawn_again || { screenshot gpu-graph-back; fail "the card back is not drawn again ($drawn, then $(load_columns) columns)"; }
end_within 10 "$quorvel_pid" || fail "it did not end"
echo PASS
