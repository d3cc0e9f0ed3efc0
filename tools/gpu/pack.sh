#!/usr/bin/env bash
# Packs what the native benchmarks need into one folder and a tarball, to measure on another
# machine (one with a GPU and no display) with measure.sh from inside that folder:
#
#   tools/gpu/pack.sh [BUILD] [OUT]      (default build/linux, out/gpu/glassfall-gpu)
#
# The programs (glassfall, its benchmark builds, texture_bench, gl_tests, root_picture, the swap
# counter), every library they link that a bare Debian may lack (found with ldd; glibc stays the
# machine's own, and the GL dispatch libraries travel apart, used only where the machine has
# none), Xvfb with its libraries and keyboard data, the peer flipscreen3d with its picture
# helpers (xscreensaver-gl), and our desktop picture at each measured size.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build/linux}")
OUT=$(realpath -m "${2:-$ROOT/out/gpu/glassfall-gpu}")
SIZES="1920x1080 3840x2160 7680x4320"
PEER_DIR=/usr/libexec/xscreensaver

programs=("$BUILD/bin/glassfall" "$BUILD/bench/glassfall_bench_EveryFrame" "$BUILD/bench/glassfall_bench_Skips"
          "$BUILD/bench/texture_bench" "$BUILD/tests/unit/gl_tests" "$BUILD/bench/root_picture")
for p in "${programs[@]}" "$BUILD/bench/libswap_counter.so"; do
  [[ -x $p || -f $p ]] || { echo "missing $p: build the linux preset (cmake --build $BUILD)" >&2; exit 1; }
done
for p in "$PEER_DIR/flipscreen3d" "$PEER_DIR/xscreensaver-getimage" /usr/bin/Xvfb /usr/bin/xkbcomp; do
  [[ -x $p ]] || { echo "missing $p (xscreensaver-gl, xvfb, x11-xkb-utils)" >&2; exit 1; }
done

rm -rf "$OUT"
mkdir -p "$OUT"/{bin,lib,glvnd,peer,x,pictures}
cp "${programs[@]}" "$OUT/bin/"
cp "$BUILD/bench/libswap_counter.so" "$OUT/lib/"
cp "$PEER_DIR/flipscreen3d" "$PEER_DIR/xscreensaver-getimage" "$PEER_DIR/xscreensaver-getimage-file" "$OUT/peer/"
cp /usr/bin/Xvfb /usr/bin/xkbcomp "$OUT/x/"
cp -r /usr/share/X11/xkb "$OUT/x/xkb"
cp "$ROOT/tools/gpu/measure.sh" "$OUT/"

# Libraries: the C library and the loader are the machine's; the GL dispatch (GLVND) libraries
# must be the machine's too where it has them, so that its vendor (NVIDIA) answers.
skip='^(linux-vdso|ld-linux|libc\.so|libm\.so|libdl\.so|libpthread\.so|librt\.so|libresolv\.so)'
glvnd='^(libGL\.so|libEGL\.so|libGLX\.so|libGLdispatch\.so|libOpenGL\.so|libGLESv)'
for binary in "$OUT"/bin/* "$OUT"/peer/flipscreen3d "$OUT"/peer/xscreensaver-getimage "$OUT"/x/Xvfb \
              "$OUT"/x/xkbcomp; do
  ldd "$binary" | awk '$3 ~ /^\// {print $1, $3}'
done | sort -u | while read -r name path; do
  if [[ $name =~ $skip ]]; then continue; fi
  if [[ $name =~ $glvnd ]]; then cp -L "$path" "$OUT/glvnd/$name"; else cp -L "$path" "$OUT/lib/$name"; fi
done
# The peer's picture helper loads pictures through gdk-pixbuf's loaders, found from its cache.
pixbuf=$(ls -d /usr/lib/x86_64-linux-gnu/gdk-pixbuf-2.0/2.10.0 2>/dev/null || true)
if [[ -n $pixbuf ]]; then
  mkdir -p "$OUT/lib/gdk-pixbuf"
  cp -r "$pixbuf/loaders" "$OUT/lib/gdk-pixbuf/" 2>/dev/null || true
fi

# Our desktop picture, as the benchmarks on this machine use it: a PPM for the root window, a PNG
# for the peer (which takes its picture from a folder).
python3 - "$OUT/pictures" $SIZES <<EOF
import gzip, sys
sys.path.insert(0, "$ROOT/tools")
import make_picture as mp
out = sys.argv[1]
for size in sys.argv[2:]:
    w, h = map(int, size.split("x"))
    picture = mp.desktop_picture(w, h)
    with gzip.open(f"{out}/desktop-{size}.ppm.gz", "wb", compresslevel=6) as f:
        f.write(mp.ppm_bytes(picture))
    with open(f"{out}/desktop-{size}.png", "wb") as f:
        f.write(mp.png_bytes(picture))
EOF

tar -C "$(dirname "$OUT")" -czf "$OUT.tar.gz" "$(basename "$OUT")"
echo "packed $OUT ($(du -sh "$OUT" | cut -f1)), $OUT.tar.gz ($(du -sh "$OUT.tar.gz" | cut -f1))"
echo "on the other machine: tar xzf $(basename "$OUT").tar.gz && cd $(basename "$OUT") && ./measure.sh"
