# Shared by the test desktop scripts (sourced).

# A display number nobody uses, from $1 on: no lock, no socket, and no server
# answering (a server may still hold the abstract socket after its files are
# gone).
free_display() {
  local n
  for n in $(seq "$1" 160); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] &&
      ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
      echo "$n"
      return 0
    fi
  done
  return 1
}
