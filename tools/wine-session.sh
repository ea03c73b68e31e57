# Sourced by the test, demo and benchmark scripts: one X display and one Wine server for
# the build's own prefix, both stopped when the calling script exits.
# Usage: source tools/wine-session.sh BUILD_DIR

wine_build_dir=$(cd "$1" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" "$wine_build_dir"

wine_session_xvfb_pid=""
stop_wine_session() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$wine_session_xvfb_pid" ] && kill "$wine_session_xvfb_pid" 2>/dev/null || true
}
trap stop_wine_session EXIT

# Windows need a display: use the user's when there is one (and USE_XVFB is not set),
# otherwise a private Xvfb.
if [ -z "${DISPLAY:-}" ] || [ -n "${USE_XVFB:-}" ]; then
  wine_session_first_display=${XVFB_FIRST_DISPLAY:-90}
  for n in $(seq "$wine_session_first_display" $((wine_session_first_display + 50))); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    wine_session_xvfb_pid=$!
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if kill -0 "$wine_session_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      break
    fi
  done
fi

# A prefix from before the prefixes became 64-bit has no syswow64: make it anew.
if [ -f "$WINEPREFIX/system.reg" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX ..."
  wine wineboot -i >/dev/null 2>&1 || true
  # wineboot leaves its own server lingering; let it end before starting a persistent one.
  timeout 60 wineserver -w || true
fi
# Fails harmlessly when a persistent server for this prefix is already running.
wineserver -p 2>/dev/null || true
wine cmd /c exit >/dev/null 2>&1 || true
