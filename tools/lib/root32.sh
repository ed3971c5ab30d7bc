# The 32-bit Debian root under build/ in which the 32-bit module and its test
# programs run: the host's Wine runs only 64-bit programs, and i386 multiarch
# cannot be installed next to it reliably. Sourced; needs $top (and log from
# common.sh to make the root).
#
# Every command runs in the root inside a user and mount namespace of its
# own: /proc, /dev, the X socket folder and the project tree (at the same
# path, so Wine's Z: paths agree) are mounted there for that command and
# whatever it leaves running, such as wineserver, and vanish with them,
# however they end. The host never sees them, so an interrupted run leaves no
# mount behind and `rm -rf build` cannot reach the host's /dev through one.

root32="$top/build/root32"
QVX_ROOT32_SUITE=bookworm
# What the tests need inside: Wine, its 32-bit half, fonts, the X extensions
# the host's Wine also has, and locales to make the user's regional settings.
# Without its preloader Wine reserves its address space in thousands of small
# steps, which costs about a minute per program under an emulator.
QVX_ROOT32_PACKAGES=(wine wine32 wine32-preloader libwine fonts-wine fonts-liberation locales
                     libxcursor1 libxi6 libxrandr2 libxrender1 libxfixes3 libxinerama1 libxcomposite1
                     libxxf86vm1)
# A root takes about 1 GB and its Wine prefix 0.6 GB; building them needs a
# little more for apt's downloads.
: "${QVX_ROOT32_NEED_MB:=2048}"
# binfmt_misc entry for 32-bit x86 ELF programs (executables and shared objects).
QVX_ROOT32_BINFMT=':qvx-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'\
':\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

# The Debian mirror the host's apt uses for this suite (one-line or deb822
# sources), else Debian's own redirector.
root32_mirror() {
  local m
  m=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed -nE "s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+$QVX_ROOT32_SUITE[[:space:]].*/\2/p" |
      head -n 1)
  [ -n "$m" ] || m=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v suite="$QVX_ROOT32_SUITE" '
      BEGIN { RS = "" }
      { uri = ""; ok = 0; n = split($0, line, "\n")
        for (i = 1; i <= n; i++) {
          if (line[i] ~ /^URIs:/) { split(line[i], f, /[ \t]+/); uri = f[2] }
          if (line[i] ~ /^Suites:/ && (" " line[i] " ") ~ ("[ \t]" suite "[ \t]")) ok = 1
        }
        if (ok && uri != "") { print uri; exit } }')
  printf '%s\n' "${m:-http://deb.debian.org/debian}"
}

# Mount points below $1 (itself included) in this namespace, deepest first.
mounts_under() {
  findmnt -rn -o TARGET | awk -v d="$1" '$0 == d || index($0, d "/") == 1' | sort -r
}

# Unmounts whatever is mounted below $1 in this namespace: left by a version
# of these tools, by hand or by a killed debootstrap. Fails if any remains.
unmount_under() {
  local m
  for m in $(mounts_under "$1"); do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null
  done
  if [ -n "$(mounts_under "$1")" ]; then
    echo "still mounted under $1:" >&2; mounts_under "$1" >&2
    return 1
  fi
}

# Deletes a root, never while anything below it is mounted: rm -rf across a
# bind mount of /dev would delete the host's device nodes.
root32_remove() {
  local dir=${1:-$root32}
  [ -e "$dir" ] || return 0
  unmount_under "$dir" || { echo "not deleting $dir while something is mounted in it" >&2; return 1; }
  rm -rf --one-file-system "$dir"
}

# Runs in the namespace made by root32_run_in: mounts what a command in root
# $1 needs and runs the command there, in the same folder when that lies in
# the project tree.
root32_enter() {
  local dir=$1 cwd=$PWD; shift
  # A program that dies under the emulator would leave a core file as large
  # as its address space in the current folder.
  ulimit -c 0
  if ! chroot "$dir" /bin/true 2>/dev/null; then
    # This kernel runs no 32-bit x86 code itself (some virtual machines turn
    # IA-32 emulation off): hand i386 programs to qemu's user-mode emulator,
    # in this user namespace only.
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
      printf '%s' "$QVX_ROOT32_BINFMT" >/proc/sys/fs/binfmt_misc/register || return 1
  fi
  mount --rbind /proc "$dir/proc" && mount --rbind /dev "$dir/dev" || return 1
  if [ -d /tmp/.X11-unix ]; then
    mkdir -p "$dir/tmp/.X11-unix" && mount --bind /tmp/.X11-unix "$dir/tmp/.X11-unix" || return 1
  fi
  mkdir -p "$dir$top" && mount --bind "$top" "$dir$top" || return 1
  case $cwd in "$top" | "$top"/*) ;; *) cwd=/ ;; esac
  if [ -n "${QVX_ROOT32_NSFILE:-}" ]; then
    readlink /proc/self/ns/user >"$QVX_ROOT32_NSFILE"
    unset QVX_ROOT32_NSFILE
  fi
  exec chroot "$dir" /usr/bin/env -u TMPDIR -u XAUTHORITY -u LD_LIBRARY_PATH -u LD_PRELOAD -C "$cwd" \
    HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# Sets ROOT32_CMD to the command line that runs a command (appended) in root
# $1 in a user and mount namespace of its own. The user namespace maps every
# ID to itself (dpkg in the root sets owners) and holds the emulator's binfmt
# entry.
root32_command() {
  ROOT32_CMD=(env PATH="$top/tools/lib/idmap:$PATH"
              unshare --user --map-users=0,0,65536 --map-groups=0,0,65536 --mount --propagation private
              bash -c 'top=$1; source "$2"; shift 2; root32_enter "$@"' bash "$top" "$top/tools/lib/root32.sh" "$1")
}

# Runs a command in root $1, e.g. root32_run_in "$root32" wine --version.
root32_run_in() {
  local ROOT32_CMD
  root32_command "$1"; shift
  "${ROOT32_CMD[@]}" "$@"
}

root32_run() { root32_run_in "$root32" "$@"; }

# Runs a command in the root with a time limit, after which it ends every
# process the command started (each is in the command's user namespace),
# wineserver included: a Wine stopped for good under the emulator would
# otherwise outlive the run.
root32_run_timed() {
  local limit=$1 nsfile ns rc p ROOT32_CMD; shift
  nsfile=$(mktemp) || return 1
  root32_command "$root32"
  QVX_ROOT32_NSFILE=$nsfile timeout "$limit" "${ROOT32_CMD[@]}" "$@"
  rc=$?
  ns=$(cat "$nsfile")
  rm -f "$nsfile"
  if [ "$rc" = 124 ] && [ -n "$ns" ]; then
    for p in /proc/[0-9]*; do
      [ "$(readlink "$p/ns/user" 2>/dev/null)" = "$ns" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
  fi
  return "$rc"
}

# Wine's settings for the private 32-bit prefix, for commands in the root.
# Under the emulator some of Wine's own programs die (its desktop process, in
# a thread where qemu reports a fault without a trap number): without a
# debugger they just end, where starting winedbg could leave the caller
# waiting for good.
root32_wine_env() {
  export WINEPREFIX="$top/build/wineprefix32" WINEARCH=win32
  export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=}"
  case $WINEDLLOVERRIDES in *winedbg.exe=d*) ;; *) WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d" ;; esac
}

# Makes the 32-bit prefix, used only once marked complete. It takes about 20 s
# under the emulator, where now and then (about one time in ten) Wine's
# processes stop for good, all waiting on wineserver: hence the time limit
# and the further tries.
wine32_make_prefix() {
  local try
  for try in 1 2 3; do
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX" || return 1
    if root32_run_timed 120 wineboot --init </dev/null >/dev/null 2>&1 &&
       root32_run_timed 60 wineserver -w; then
      touch "$WINEPREFIX/.qvx-complete"
      return 0
    fi
    root32_run wineserver -k </dev/null >/dev/null 2>&1
    log "making the 32-bit Wine prefix failed (try $try)"
  done
  return 1
}

# As wine_start and wine_stop in common.sh, for the 32-bit prefix: makes it
# when needed, and keeps wineserver and Wine's background processes warm
# meanwhile. A wineserver left by an interrupted run is ended first.
wine32_start() {
  (
    root32_wine_env
    root32_run wineserver -k </dev/null >/dev/null 2>&1
    if [ ! -f "$WINEPREFIX/.qvx-complete" ]; then
      log "creating the 32-bit Wine prefix $WINEPREFIX"
      wine32_make_prefix || { echo "could not make the 32-bit Wine prefix $WINEPREFIX" >&2; exit 1; }
    fi
    root32_run wineserver -p </dev/null >/dev/null 2>&1
    root32_run_timed 120 wine cmd /c exit </dev/null >/dev/null 2>&1
    # Unmanaged windows, as in the 64-bit prefix (see wine_start).
    grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null ||
      root32_run_timed 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    prefix_fonts "$WINEPREFIX" "$root32/usr/share/wine/fonts"
    return 0
  )
}

wine32_stop() {
  [ -f "$root32/.qvx-root32" ] || return 0
  (
    root32_wine_env
    root32_run wineserver -k </dev/null >/dev/null 2>&1
    root32_run wineserver -w </dev/null >/dev/null 2>&1
  )
  return 0
}

# True when the root is complete: made to the end with today's package list,
# and its Wine and locales still in place.
root32_ok() {
  [ -f "$root32/.qvx-root32" ] &&
    [ "$(cat "$root32/.qvx-root32")" = "${QVX_ROOT32_PACKAGES[*]}" ] &&
    [ -x "$root32/usr/lib/wine/wine" ] && [ -x "$root32/usr/lib/wine/wineserver" ] &&
    [ -f "$root32/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] &&
    [ -f "$root32/usr/lib/locale/locale-archive" ] &&
    root32_run /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Installs the packages and locales into the (bootstrapped) root $1, then
# stamps it complete.
root32_provision() {
  local dir=$1 mirror=$2
  rm -f "$dir/.qvx-root32"
  printf 'deb %s %s main\ndeb %s %s-updates main\n' "$mirror" "$QVX_ROOT32_SUITE" "$mirror" "$QVX_ROOT32_SUITE" \
    >"$dir/etc/apt/sources.list"
  cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null
  root32_run_in "$dir" env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
  root32_run_in "$dir" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${QVX_ROOT32_PACKAGES[@]}" &&
  root32_run_in "$dir" apt-get clean &&
  root32_run_in "$dir" localedef -i en_US -f UTF-8 en_US.UTF-8 &&
  root32_run_in "$dir" localedef -i es_ES -f UTF-8 es_ES.UTF-8 &&
  printf '%s\n' "${QVX_ROOT32_PACKAGES[*]}" >"$dir/.qvx-root32"
}

# Makes the root when it is missing, finishes or remakes it when it is broken.
# Says so and fails when the disk lacks room for it. Details go to build/root32.log.
root32_ensure() {
  local mirror free_mb rlog="$top/build/root32.log"
  unmount_under "$top/build" || return 1
  root32_ok && return 0
  mirror=$(root32_mirror)
  if [ -f "$root32/.qvx-root32" ] || [ -x "$root32/usr/bin/apt-get" ]; then
    log "completing the 32-bit Debian root $root32"
    root32_provision "$root32" "$mirror" >"$rlog" 2>&1 && root32_ok && return 0
    log "the 32-bit root is broken (see $rlog): making it again"
  fi
  root32_remove "$root32" && root32_remove "$root32.new" || return 1
  free_mb=$(df -Pm "$top/build" | awk 'NR == 2 { print $4 }')
  if [ "${free_mb:-0}" -lt "$QVX_ROOT32_NEED_MB" ]; then
    echo "not enough disk space for the 32-bit Debian root: it needs ${QVX_ROOT32_NEED_MB} MB" \
         "under $top/build, only ${free_mb} MB are free" >&2
    return 1
  fi
  log "making the 32-bit Debian root $root32 from $mirror (once; about 1 GB)"
  # Built aside and renamed when complete, so a half-made root is never used.
  # The first stage only unpacks, on the host; the second runs the root's own
  # programs, in a user namespace, where debootstrap must not try mknod
  # (container=lxc). Its own mounts stay in namespaces of their own.
  unshare --mount --propagation private debootstrap --foreign --arch=i386 --variant=minbase \
    "$QVX_ROOT32_SUITE" "$root32.new" "$mirror" >"$rlog" 2>&1 &&
  root32_run_in "$root32.new" env container=lxc /debootstrap/debootstrap --second-stage >>"$rlog" 2>&1 &&
  root32_provision "$root32.new" "$mirror" >>"$rlog" 2>&1 &&
  mv "$root32.new" "$root32" && root32_ok && return 0
  tail -n 30 "$rlog" >&2
  echo "could not make the 32-bit Debian root (see $rlog)" >&2
  return 1
}
