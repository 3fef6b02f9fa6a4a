#!/usr/bin/env bash
# The Wine test bed: one private prefix, one Xvfb and one wineserver for a
# whole test run, all under DIR in the build tree.
#   winebed.sh start DIR [VER]  fresh prefix, display, persistent server;
#                               Wine reports Windows version VER (win95,
#                               win98, nt40, winxp, win7, win10, ...;
#                               default win10)
#   winebed.sh run DIR PROG...  run a Windows program in the bed
#   winebed.sh stop DIR         end every process the bed started
set -u
cmd=$1 dir=$(realpath -m "$2"); shift 2
version=${1:-win10}
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEARCH=win64

case $cmd in
start)
  "$0" stop "$dir" 2>/dev/null
  rm -rf "$dir" && mkdir -p "$dir/drive_d"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 600); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || { echo "Xvfb gave no display within 60 s" >&2; exit 1; }
  export DISPLAY=:$(cat "$dir/display")
  start=$(date +%s%N)
  # Nothing started here may keep the caller's output open: CTest waits
  # for every holder of its pipe.
  timeout 600 wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 || { cat "$dir/wineboot.log"; exit 1; }
  # Wine's virtual desktop, as large as the display: without a window
  # manager Wine waits for one whenever a window is hidden or destroyed.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >>"$dir/wineboot.log" 2>&1 &&
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >>"$dir/wineboot.log" 2>&1 &&
    wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f </dev/null >>"$dir/wineboot.log" 2>&1 ||
    { cat "$dir/wineboot.log"; exit 1; }
  wineserver -w
  ln -sfn "$dir/drive_d" "$WINEPREFIX/dosdevices/d:"
  mkdir -p "$dir/drive_a" && ln -sfn "$dir/drive_a" "$WINEPREFIX/dosdevices/a:"   # the diskette drive
  wineserver -p </dev/null >/dev/null 2>&1
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  printf 'wine bed ready in %d.%d s (display :%s, Windows version %s)\n' $((ms / 1000)) $((ms % 1000 / 100)) \
    "$(cat "$dir/display")" "$version"
  ;;
run)
  # Wine's own background processes (desktop, services) start with the
  # first program and outlive it: give them a file, not the caller's pipe.
  export DISPLAY=:$(cat "$dir/display")
  out=$(mktemp "$dir/run.XXXXXX")
  wine "$@" </dev/null >"$out" 2>&1
  status=$?
  cat "$out"; rm -f "$out"
  exit $status
  ;;
stop)
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  [ -s "$dir/xvfb.pid" ] && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
  rm -f "$dir/xvfb.pid"
  exit 0
  ;;
*) echo "usage: winebed.sh start|run|stop DIR [PROG...]" >&2; exit 2 ;;
esac
