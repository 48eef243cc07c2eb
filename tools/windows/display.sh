# Shared by the Windows scripts that show windows: start_display starts an X server of its own
# on the first free display, exports DISPLAY and adds its process to the caller's pids array.
# shellcheck shell=bash
start_display() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}
