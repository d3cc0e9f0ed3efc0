#!/usr/bin/env bash
# Measures the native benchmarks from the folder tools/gpu/pack.sh made, on a machine without
# a display (meant for one with an NVIDIA GPU), and leaves every figure in one text file:
#
#   ./measure.sh [FIGURES]        (default: figures.txt beside this script; about 5 minutes)
#   MEASURE_SECONDS=8             measuring window per program and size
#
# 1. the device; 2. the GL unit tests on EGL (NVIDIA's vendor library where installed, else
# GLVND's default); 3. the first texture on the same EGL (texture_bench); 4. on a private Xvfb
# at 1920x1080, 3840x2160 and 7680x4320: frames/s and CPU per frame of glassfall --root (drawing
# every frame, and as shipped) against flipscreen3d --root on the same desktop picture. The X
# part asks for NVIDIA's GLX first (__GLX_VENDOR_LIBRARY_NAME=nvidia). Xvfb has no NVIDIA GLX
# (that needs the NV-GLX extension of NVIDIA's X driver), so there it falls back to Xvfb's own
# GLX (Mesa, on the CPU) and says so; the GPU's figures are then those of steps 2 and 3.
set -uo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
FIGURES=${1:-$HERE/figures.txt}
WINDOW=${MEASURE_SECONDS:-8}
WARM=3
SIZES="1920x1080 3840x2160 7680x4320"
TICKS=$(getconf CLK_TCK)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/glassfall-gpu.XXXXXX")
XVFB_PID="" PICTURE_PID=""

cleanup() {
  for pid in $PICTURE_PID $XVFB_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT
exec > >(tee "$FIGURES") 2>&1

# The machine's own GL dispatch libraries where it has them (its vendor answers through them).
LIBS=$HERE/lib
if ! { /sbin/ldconfig -p 2>/dev/null || ldconfig -p 2>/dev/null; } | grep -q 'libGLX.so.0 '; then
  LIBS=$LIBS:$HERE/glvnd
  echo "no GLVND libraries on this machine: the packed ones"
fi
export LD_LIBRARY_PATH=$LIBS

cpu() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | awk -v t="$TICKS" '{printf "%.3f", ($12 + $13) / t}'; }
swaps() { [[ -s $1 ]] && od -An -t u8 -N8 "$1" | tr -d ' ' || echo 0; }
now() { date +%s.%N; }
# What GL the process loaded: the vendor library and, for Mesa, its driver.
gl_in_use() {
  grep -oE '(libGLX_[a-z]+|libEGL_[a-z]+|libnvidia-glcore|swrast_dri|libgallium[^/ ]*|llvmpipe)[^ /]*\.so[^ /]*' \
    "/proc/$1/maps" 2>/dev/null | sort -u | tr '\n' ' '
}
end_process() {
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

echo "== device"
if command -v nvidia-smi >/dev/null; then
  nvidia-smi --query-gpu=name,driver_version,memory.total --format=csv,noheader
else
  echo "no nvidia-smi on this machine"
fi
echo "CPU:$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2), $(nproc) threads; $(uname -sr); $(date -u +%FT%TZ)"

echo "== GL unit tests on EGL"
vendor_file=$(ls /usr/share/glvnd/egl_vendor.d/*nvidia*.json /etc/glvnd/egl_vendor.d/*nvidia*.json 2>/dev/null | head -1)
if [[ -n $vendor_file ]]; then
  export __EGL_VENDOR_LIBRARY_FILENAMES=$vendor_file
  echo "EGL vendor: $vendor_file"
else
  echo "EGL vendor: GLVND's default (no NVIDIA vendor file)"
fi
timeout 240 "$HERE/bin/gl_tests" >"$WORK/gl_tests.log" 2>&1
echo "gl_tests exit status $? ($(grep -cE '^\[       OK \]' "$WORK/gl_tests.log") passed)"
grep -E '^\[  (FAILED|PASSED)|^\[  SKIPPED' "$WORK/gl_tests.log" | sort -u | head -20
grep -E 'levels: max difference' "$WORK/gl_tests.log" | head -3

echo "== first texture on EGL (texture_bench)"
timeout 240 "$HERE/bin/texture_bench" 5 || echo "texture_bench exit status $?"
unset __EGL_VENDOR_LIBRARY_FILENAMES

XVFB=$(command -v Xvfb || true)
XKB=()
if [[ -z $XVFB ]]; then XVFB=$HERE/x/Xvfb; XKB=(-xkbdir "$HERE/x/xkb"); echo "the packed Xvfb (no Xvfb here)"; fi

start_display() {  # $1 WxH; sets DISPLAY_NUMBER, XVFB_PID, PICTURE_PID, ROOT_ID
  DISPLAY_NUMBER=""
  for n in $(seq 60 199); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || { DISPLAY_NUMBER=$n; break; }
  done
  "$XVFB" ":$DISPLAY_NUMBER" -screen 0 "$1x24" -nolisten tcp -noreset "${XKB[@]}" >"$WORK/xvfb-$1.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 200); do [[ -e /tmp/.X11-unix/X$DISPLAY_NUMBER ]] && break; sleep 0.1; done
  gzip -dc "$HERE/pictures/desktop-$1.ppm.gz" >"$WORK/desktop.ppm"
  DISPLAY=:$DISPLAY_NUMBER "$HERE/bin/root_picture" "$WORK/desktop.ppm" >"$WORK/root.out" 2>&1 &
  PICTURE_PID=$!
  for _ in $(seq 300); do grep -q ready "$WORK/root.out" && break; sleep 0.1; done
  ROOT_ID=$(awk '/ready/ {print $2}' "$WORK/root.out")
  rm -f "$WORK/desktop.ppm"
  mkdir -p "$WORK/home/images"
  cp "$HERE/pictures/desktop-$1.png" "$WORK/home/images/desktop.png"
  printf 'grabDesktopImages: False\nchooseRandomImages: True\nimageDirectory: %s\n' "$WORK/home/images" \
    >"$WORK/home/.xscreensaver"
  [[ -n $ROOT_ID ]]
}
stop_display() {
  end_process "$PICTURE_PID"; end_process "$XVFB_PID"
  PICTURE_PID="" XVFB_PID=""
}

# Runs one program on the display: "fps drawn/s cpu/s ms/frame ms/drawn xvfb/s" into RESULT,
# what GL it loaded into USED; false when it drew nothing within 30 s.
measure() {
  local counter=$WORK/swaps report=$WORK/report
  rm -f "$counter" "$report"
  env DISPLAY=":$DISPLAY_NUMBER" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" \
    XDG_RUNTIME_DIR="$WORK" PATH="$HERE/peer:$PATH" GDK_PIXBUF_MODULEDIR="$HERE/lib/gdk-pixbuf/loaders" \
    LD_PRELOAD="$HERE/lib/libswap_counter.so" GLASSFALL_SWAP_COUNTER="$counter" GLASSFALL_BENCH_REPORT="$report" \
    "$@" </dev/null >"$WORK/program.log" 2>&1 &
  local pid=$!
  for _ in $(seq 300); do
    [[ $(swaps "$counter") -gt 0 ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ $(swaps "$counter") -eq 0 ]]; then end_process "$pid"; USED=""; return 1; fi
  sleep "$WARM"
  local f0 c0 x0 t0 f1 c1 x1 t1
  f0=$(swaps "$counter"); c0=$(cpu "$pid"); x0=$(cpu "$XVFB_PID"); t0=$(now)
  sleep "$WINDOW"
  f1=$(swaps "$counter"); c1=$(cpu "$pid"); x1=$(cpu "$XVFB_PID"); t1=$(now)
  USED=$(gl_in_use "$pid")
  end_process "$pid"
  local shown=""
  # Ours: frames shown (counted by the 401-frame clock) over its loop, from its report.
  [[ -s $report ]] && shown=$(awk '$1 == "frames" {f = $2} $1 == "wall" {w = $2} END {if (w > 0) print f / w}' "$report")
  RESULT=$(awk -v f0="$f0" -v f1="$f1" -v c0="$c0" -v c1="$c1" -v x0="$x0" -v x1="$x1" -v t0="$t0" -v t1="$t1" \
    -v shown="$shown" 'BEGIN {
      wall = t1 - t0; drawn = (f1 - f0) / wall; fps = shown != "" ? shown : drawn; c = (c1 - c0) / wall
      per_drawn = drawn > 0 ? sprintf("%.2f", c / drawn * 1000) : "-"  # a picture standing still draws nothing
      printf "%.1f %.1f %.3f %.2f %s %.3f", fps, drawn, c, (fps > 0 ? c / fps * 1000 : 0), per_drawn, (x1 - x0) / wall }')
}

echo "== on Xvfb: frames/s and CPU against flipscreen3d (${WINDOW} s each after ${WARM} s; CPU 1.0 = one core)"
GLX_ENV=(__GLX_VENDOR_LIBRARY_NAME=nvidia)
if start_display 1920x1080 && measure env "${GLX_ENV[@]}" "$HERE/bin/glassfall_bench_Skips" --root; then
  # GLVND takes the server's vendor when the one asked for cannot serve the display.
  if [[ $USED == *nvidia* ]]; then
    echo "GLX: NVIDIA's, through Xvfb ($USED)"
  else
    echo "GLX: NVIDIA's asked for, but the program loaded $USED (no NVIDIA GLX on this Xvfb): the figures" \
      "below are Xvfb's own GLX, the CPU's, not the GPU's"
  fi
else
  echo "GLX: NVIDIA's did not draw on Xvfb: $(tail -n 2 "$WORK/program.log" | tr '\n' ' ')"
  GLX_ENV=()
  if measure "$HERE/bin/glassfall_bench_Skips" --root; then
    echo "GLX: falling back to Xvfb's own GLX ($USED): these figures are the CPU's, not the GPU's"
  else
    echo "GLX: no GLX on Xvfb drew either ($(tail -n 2 "$WORK/program.log" | tr '\n' ' ')); no X figures"
    GLX_ENV=(none)
  fi
fi
stop_display

if [[ ${GLX_ENV[0]:-} != none ]]; then
  printf '%-10s %-24s %8s %8s %7s %9s %9s %7s  %s\n' size program frames/s drawn/s CPU/s ms/frame ms/drawn Xvfb/s \
    "GL loaded"
  summary=()
  for size in $SIZES; do
    if ! start_display "$size"; then echo "$size: Xvfb or the desktop picture did not start"; stop_display; continue; fi
    declare -A got=()
    for program in every-frame glassfall flipscreen3d; do
      case $program in
        every-frame) command=(env "${GLX_ENV[@]}" "$HERE/bin/glassfall_bench_EveryFrame" --root) ;;
        glassfall) command=(env "${GLX_ENV[@]}" "$HERE/bin/glassfall_bench_Skips" --root) ;;
        flipscreen3d) command=(env "${GLX_ENV[@]}" XSCREENSAVER_WINDOW="$ROOT_ID" "$HERE/peer/flipscreen3d" --root) ;;
      esac
      if measure "${command[@]}"; then
        got[$program]=$RESULT
        read -r fps drawn c per_frame per_drawn x <<<"$RESULT"
        printf '%-10s %-24s %8s %8s %7s %9s %9s %7s  %s\n' "$size" "$program" "$fps" "$drawn" "$c" "$per_frame" \
          "$per_drawn" "$x" "$USED"
      else
        printf '%-10s %-24s drew nothing: %s\n' "$size" "$program" "$(tail -n 1 "$WORK/program.log")"
      fi
    done
    if [[ -n ${got[flipscreen3d]:-} ]]; then
      for program in every-frame glassfall; do
        [[ -n ${got[$program]:-} ]] || continue
        summary+=("$(awk -v o="${got[$program]}" -v p="${got[flipscreen3d]}" -v s="$size" -v n="$program" 'BEGIN {
          split(o, a, " "); split(p, b, " ")
          printf "%s %s / flipscreen3d: CPU per second %.2fx, per frame %.3fx, at %.1f frames/s (peer %.1f)", s, n,
            (b[3] > 0 ? a[3] / b[3] : 0), (b[4] > 0 ? a[4] / b[4] : 0), a[1], b[1] }')")
      done
    fi
    unset got
    stop_display
  done
  printf '%s\n' "${summary[@]}"
fi
echo "== figures in $FIGURES"
