# Sourced by the scripts that run the Windows build under Wine (test-windows,
# test-package-windows, bench-windows). The caller sets WINEPREFIX to a folder of its own.
export WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="   # no runtime installers at the first start

# The first start of Wine creates the prefix; once per run, within a limit. Wine's Tahoma
# (the face of "MS Shell Dlg") goes where this Wine finds it: the prefix's fonts.
make_wine_prefix() {
  timeout 300 wineboot -i >/dev/null 2>&1
  timeout 120 wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

# service_root LOG SCHEME: waits up to 10 s for a mining-service writing LOG to say where
# it listens and prints that root ("http://127.0.0.1:PORT"); prints nothing if it never did.
service_root() {
  for _ in $(seq 100); do
    grep -q "listening on" "$1" && break
    sleep 0.1
  done
  sed -n "s/.*listening on \\($2:[^ ]*\\).*/\\1/p" "$1" | head -n 1
}
