# The demo host QvxDemo.exe against real servers on 127.0.0.1, shared by
# tools/demo and tools/test. Sourced after common.sh; needs the win64 build,
# the native preset's update server and, for the story, Wine started
# (wine_start) on an X display.
#
# demo_servers_start  a release folder offering QvxDemo 4.2.5.0 (the host is
#                     4.1.0.0) to customer 1234 with key ClaveSecreta, the
#                     reference update server and aiosmtpd (with their fault
#                     siblings, unused), and the control's settings pointing
#                     at them, with the host's "AutoUpdate" preference on
# demo_story          qvx_demo_story.exe drives the host through the update
#                     service; the dialogs' screenshots as build/demo/*.png
# demo_servers_stop   ends the servers and removes the control's settings

demo_dir="$top/build/demo"
demo_release="$demo_dir/release"
QVX_DEMO_STORY_SECONDS=300  # far beyond the story's own time limit per step

demo_port() { awk -v m="$2" '$1 == m { print $2 }' "$demo_dir/$1/servers.txt"; }

# Imports a .reg text (REGEDIT4) from standard input into the prefix.
demo_registry() {
  cat >"$demo_dir/settings.reg" && wine reg import "$(winpath "$demo_dir/settings.reg")" >/dev/null 2>&1
}

demo_servers_start() {
  mkdir -p "$demo_dir" || return 1
  rm -rf "$demo_release"
  mkdir -p "$demo_release/apps/QvxDemo" || return 1
  echo 4.2.5.0 >"$demo_release/apps/QvxDemo/version.txt"
  yes 'QvxDemo 4.2.5.0 installer' | head -c 20000 >"$demo_release/apps/QvxDemo/setup.msi"
  printf '%s\n' '# customer number, key' '1234 ClaveSecreta' >"$demo_release/customers.txt"
  "$top/tools/update-servers" start "$demo_dir/update-servers" "$demo_release" >/dev/null || return 1
  "$top/tools/mail-servers" start "$demo_dir/mail-servers" >/dev/null || return 1
  local update mail
  update=$(demo_port update-servers normal) mail=$(demo_port mail-servers aiosmtpd)
  log "update server on 127.0.0.1:$update, aiosmtpd on 127.0.0.1:$mail"
  # What an earlier run stored goes first: the host's preferences and the
  # customer data (the 64-bit prefix keeps the maker's keys in the 32-bit view).
  demo_registry <<EOF || { echo "demo: the control's settings could not be written" >&2; return 1; }
REGEDIT4

[-HKEY_CURRENT_USER\\Software\\Quorvex\\QuorvexIntl]
[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Quorvex\\DatosCliente]
[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Ostrafell\\DatosCliente]

[HKEY_CURRENT_USER\\Software\\Quorvex\\QuorvexIntl]
"UpdateServer"="127.0.0.1:$update"
"WebHost"="127.0.0.1:$update"
"MailServer"="127.0.0.1:$mail"
"SupportMailbox"="soporte@quorvex.es"

[HKEY_CURRENT_USER\\Software\\Quorvex\\QuorvexIntl\\QVXDEMO]
"AutoUpdate"=dword:00000001
"ShowUpdateErr"=dword:00000001
EOF
}

demo_servers_stop() {
  [ -d "$demo_dir" ] || return 0
  "$top/tools/update-servers" stop "$demo_dir/update-servers" >/dev/null 2>&1
  "$top/tools/mail-servers" stop "$demo_dir/mail-servers" >/dev/null 2>&1
  [ -f "$demo_dir/settings.reg" ] && printf 'REGEDIT4\n\n[-HKEY_CURRENT_USER\\Software\\Quorvex\\QuorvexIntl]\n' | demo_registry
  rm -f "$demo_dir/settings.reg"
  return 0
}

demo_story() {
  local status shot
  demo_servers_start || { demo_servers_stop; return 1; }
  log "the story: QvxDemo.exe and the update service, driven from outside by qvx_demo_story.exe"
  rm -f "$demo_dir"/*.bmp "$demo_dir"/*.png
  QVX_SCREENSHOTS=$(winpath "$demo_dir") timeout "$QVX_DEMO_STORY_SECONDS" wine "$top/build/win64/qvx_demo_story.exe" \
    "$(winpath "$demo_dir/mail-servers")" "$(winpath "$demo_release/apps/QvxDemo/setup.msi")" 2>&1 | stdbuf -oL tr -d '\r'
  status=${PIPESTATUS[0]}
  [ "$status" = 124 ] && echo "FAILED: the story did not end within ${QVX_DEMO_STORY_SECONDS} s"
  demo_servers_stop
  local pairs=()
  for shot in "$demo_dir"/*.bmp; do [ -f "$shot" ] && pairs+=("$shot" "${shot%.bmp}.png"); done
  ((${#pairs[@]})) && python3 "$top/tools/bmp2png" "${pairs[@]}" && rm -f "$demo_dir"/*.bmp
  ls "$demo_dir"/*.png >/dev/null 2>&1 && log "screenshots: $(cd "$top" && ls build/demo/*.png | tr '\n' ' ')"
  return "$status"
}
