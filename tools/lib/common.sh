# Shared by tools/test and tools/demo: packages, builds and the private Wine
# prefix under build/. Sourced, not run.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="$top/build/wineprefix64"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

QVX_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine-dev xvfb
              cmake googletest locales clang libclang-rt-14-dev debootstrap qemu-user-static
              libcpp-httplib-dev pkg-config python3-aiosmtpd fonts-wine)

log() { printf '== %s\n' "$*"; }

# Installs the Debian packages that are missing (we run as root).
install_packages() {
  local missing=()
  for p in "${QVX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null ||
      { echo "apt-get install failed" >&2; return 1; }
  fi
  # Locales the tests switch to: English for Wine, Spanish for a comma decimal point.
  for l in en_US es_ES; do
    locale -a 2>/dev/null | grep -qi "^$l.utf8$" || localedef -i "$l" -f UTF-8 "$l.UTF-8" ||
      { echo "cannot make the locale $l.UTF-8" >&2; return 1; }
  done
  # Wine's user locale follows the Unix one: English, ANSI code page 1252.
  export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8
}

# cmake configure + build of one preset:
#   build_preset PRESET [CONFIGURE ARGUMENTS...] [--target TARGET...]
# builds the targets named, else all.
build_preset() {
  local preset=$1 configure=(); shift
  while (($#)) && [ "$1" != --target ]; do configure+=("$1"); shift; done
  cmake --preset "$preset" "${configure[@]}" >"$top/build/$preset-configure.log" 2>&1 ||
    { cat "$top/build/$preset-configure.log"; return 1; }
  cmake --build --preset "$preset" -j"$(nproc)" "$@" >"$top/build/$preset-build.log" 2>&1 ||
    { tail -n 60 "$top/build/$preset-build.log"; return 1; }
}

# A private X server for the window tests. Wine's desktop process is started
# by the first program of a wineserver session and keeps the display it saw,
# so the X server must run before wine_start.
xvfb_start() {
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  QVX_XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
}

xvfb_stop() {
  [ -n "${QVX_XVFB_PID:-}" ] && kill "$QVX_XVFB_PID" 2>/dev/null && wait "$QVX_XVFB_PID" 2>/dev/null
  QVX_XVFB_PID=
  return 0
}

# Creates the private prefix once, then keeps wineserver and Wine's
# background processes warm so each program starts in a fraction of a second.
wine_start() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  # With no window manager, Wine waits two seconds for each managed top-level
  # window to be withdrawn when it goes; unmanaged windows go at once.
  grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null ||
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  prefix_fonts "$WINEPREFIX" /usr/share/wine/fonts
}

# Wine draws window frame buttons (the close box) with Marlett; a prefix made
# before fonts-wine was installed never finds it, so it goes in the prefix's
# own font folder.
prefix_fonts() {
  local fonts="$1/drive_c/windows/Fonts"
  [ -f "$2/marlett.ttf" ] && [ ! -f "$fonts/marlett.ttf" ] && mkdir -p "$fonts" && cp "$2/marlett.ttf" "$fonts/"
  return 0
}

wine_stop() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  return 0
}

# Windows form of a path on Wine's Z: drive.
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
