#!/bin/sh
# The batch engine against the JPEG library's own benchmark, side by side in
# one run:
#
#   bench/compare_tjbench.sh BUILD_DIR
#
# For coffee.png, chelsea.png and a 256 x 256 cut of chelsea: tjbench's
# encode and decode rates at quality 75, 4:2:0, combined into compressions
# per second as 1 / (1 / encode + 1 / decode); then tessera-sweep over twenty
# copies of the picture with --auto-quality 70:80:1 (eleven compressions per
# loaded picture), no manual entries and no extra figures, with one worker
# and with two. Prints each rate, one worker's share of the library's rate
# and two workers' speed-up. Last, the peak resident size of a sweep of 100
# compressions and of one of 10 000.
set -eu
build=$(cd "${1:?usage: compare_tjbench.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
samples="$here/../resources/samples"
sweep="$build/run/tessera-sweep"
bench="$build/bench/tessera_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

"$bench" --auto 75 --cjpeg "$work/ppm" "$samples/coffee.png" "$samples/chelsea.png"
# The top-left 256 x 256 pixels of chelsea, as a binary PPM.
python3 - "$work/ppm/chelsea.ppm" "$work/ppm/small.ppm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace():
        at += 1
    start = at
    while not data[at:at + 1].isspace():
        at += 1
    fields.append(data[start:at])
at += 1
width, height = int(fields[1]), int(fields[2])
rows = [data[at + y * width * 3: at + y * width * 3 + 256 * 3] for y in range(256)]
open(sys.argv[2], 'wb').write(b'P6\n256 256\n255\n' + b''.join(rows))
PY

# Seconds a command takes, from the shell's clock.
seconds() {
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

printf '%-8s %10s %10s %10s %8s %10s %8s\n' picture "library/s" "1 worker/s" "2 workers/s" share speed-up
for name in coffee chelsea small; do
    if [ "$name" = small ]; then source="$work/ppm/small.ppm"; else source="$samples/$name.png"; fi
    line=$(tjbench "$work/ppm/$name.ppm" 75 -subsamp 420 -quiet -benchtime 3 -warmup 1 | grep -v "^ *$" | tail -1)
    library=$(echo "$line" | awk '{ pixels = $5 * $6 / 1e6; print 1 / (pixels / $7 + pixels / $9) }')
    set_dir="$work/set-$name"
    mkdir -p "$set_dir"
    extension=${source##*.}
    for i in $(seq -w 1 20); do cp "$source" "$set_dir/copy$i.$extension"; done
    run() {
        "$sweep" --auto-quality 70:80:1 --no-manual-quality --figures none -q -j "$1" \
            -o /dev/null "$set_dir"
    }
    run 1 # caches
    one=$(seconds run 1)
    two=$(seconds run 2)
    echo "$name $library $one $two" | awk '{
        one = 220 / $3; two = 220 / $4
        printf "%-8s %10.1f %10.1f %10.1f %7.0f%% %9.2fx\n", $1, $2, one, two, 100 * one / $2, two / one }'
done

# Peak resident size: one 64 x 64 picture under 100 qualities, then 100 of
# them (10 000 compressions).
python3 - "$work/ppm/small.ppm" "$work/tiny.ppm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
pixels = data[len(b'P6\n256 256\n255\n'):]
rows = [pixels[y * 256 * 3: y * 256 * 3 + 64 * 3] for y in range(64)]
open(sys.argv[2], 'wb').write(b'P6\n64 64\n255\n' + b''.join(rows))
PY
mkdir -p "$work/one" "$work/hundred"
cp "$work/tiny.ppm" "$work/one/tiny.ppm"
for i in $(seq -w 1 100); do cp "$work/tiny.ppm" "$work/hundred/tiny$i.ppm"; done
peak() {
    /usr/bin/time -f %M "$sweep" --auto-quality 1:100:1 --no-manual-quality -q \
        -o "$work/out.csv" --report "$work/report.txt" "$1" 2>&1 >/dev/null | tail -1
}
small=$(peak "$work/one")
large=$(peak "$work/hundred")
echo "peak resident size: 100 compressions $small KB, 10000 compressions $large KB," \
    "difference $(( (large - small) / 1024 )) MB"
