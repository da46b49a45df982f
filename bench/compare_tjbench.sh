#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The batch engine against the JPEG library's own benchmark, side by side in
# one run:
#
#   bench/compare_tjbench.sh BUILD_DIR [ROUNDS]
#
# For coffee.png, chelsea.png and a 256 x 256 cut of chelsea: tjbench's
# encode and decode rates at quality 75, 4:2:0, combined into compressions
# per second as 1 / (1 / encode + 1 / decode); then tessera-sweep over twenty
# copies of the picture with --auto-quality 70:80:1 (eleven compressions per
# loaded picture), no manual entries and no extra figures, with one worker
# and with two. Prints each rate, one worker's share of the library's rate
# and two workers' speed-up. The sweep's rates count the whole process:
# starting it, loading the twenty pictures and writing the table. The same
# figures follow with the process start (a sweep of one tiny picture) taken
# out: the engine's own rate. What loading takes is printed after the table.
# Then, for coffee, the one-worker rate with every figure (SSIM and MS-SSIM
# among them) as a share of the rate without. Last, the peak resident size
# of a sweep of 100 compressions and of one of 10 000.
#
# Every time is the best of ROUNDS runs (3 unless told): other work on the
# machine only ever makes a run slower. The load average is printed first.
set -eu
build=$(cd "${1:?usage: compare_tjbench.sh BUILD_DIR [ROUNDS]}" && pwd)
rounds=${2:-3}
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

# Seconds a command takes, from the shell's clock: the best of $rounds runs.
seconds() {
    best=
    for round in $(seq "$rounds"); do
        start=$(date +%s.%N)
        "$@"
        end=$(date +%s.%N)
        spent=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$spent < $best" | bc -l)" = 1 ]; then best=$spent; fi
    done
    echo "$best"
}

# Twenty copies of a picture in a folder of their own.
copies() {
    mkdir -p "$2"
    extension=${1##*.}
    for i in $(seq -w 1 20); do cp "$1" "$2/copy$i.$extension"; done
}

# The sweep over a folder: workers, figures, auto-quality range.
sweep_run() {
    "$sweep" --auto-quality "$4" --no-manual-quality --figures "$3" -q -j "$2" \
        -o /dev/null "$1"
}

# Starting the process: one compression of a 64 x 64 picture.
python3 - "$work/ppm/small.ppm" "$work/tiny.ppm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
pixels = data[len(b'P6\n256 256\n255\n'):]
rows = [pixels[y * 256 * 3: y * 256 * 3 + 64 * 3] for y in range(64)]
open(sys.argv[2], 'wb').write(b'P6\n64 64\n255\n' + b''.join(rows))
PY
mkdir -p "$work/one"
cp "$work/tiny.ppm" "$work/one/tiny.ppm"
start=$(seconds sweep_run "$work/one" 1 none 75:75:1)

# The table: each sweep as a whole process, then with the process start
# (measured above) taken out, which is the engine's own rate.
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $rounds runs"
printf '%-8s %10s %10s %11s %7s %8s | %s\n' picture "library/s" "1 worker/s" "2 workers/s" share scaling \
    "without the process start"
for name in coffee chelsea small; do
    if [ "$name" = small ]; then source="$work/ppm/small.ppm"; else source="$samples/$name.png"; fi
    line=$(tjbench "$work/ppm/$name.ppm" 75 -subsamp 420 -quiet -benchtime 3 -warmup 1 | grep -v "^ *$" | tail -1)
    library=$(echo "$line" | awk '{ pixels = $5 * $6 / 1e6; print 1 / (pixels / $7 + pixels / $9) }')
    copies "$source" "$work/set-$name"
    sweep_run "$work/set-$name" 1 none 70:80:1 # caches
    one=$(seconds sweep_run "$work/set-$name" 1 none 70:80:1)
    two=$(seconds sweep_run "$work/set-$name" 2 none 70:80:1)
    echo "$name $library $one $two $start" | awk '{
        one = 220 / $3; two = 220 / $4; oneEngine = 220 / ($3 - $5); twoEngine = 220 / ($4 - $5)
        printf "%-8s %10.1f %10.1f %11.1f %6.0f%% %7.2fx | %7.1f %7.1f %4.0f%% %5.2fx\n", $1, $2, one, two,
            100 * one / $2, two / one, oneEngine, twoEngine, 100 * oneEngine / $2, twoEngine / oneEngine }'
done

# Loading a picture: twenty pictures under one quality each, less the start,
# per picture (its one compression included).
load=$(seconds sweep_run "$work/set-coffee" 1 none 75:75:1)
echo "$start $load" | awk '{ printf "process start %.1f ms; coffee.png loaded and compressed once %.1f ms\n", 1000 * $1, 1000 * ($2 - $1) / 20 }'

# Every figure against none, one worker, coffee.
none=$(seconds sweep_run "$work/set-coffee" 1 none 70:80:1)
all=$(seconds sweep_run "$work/set-coffee" 1 all 70:80:1)
echo "$none $all" | awk '{ printf "all figures: %.1f/s against %.1f/s without, %.0f%%\n", 220 / $2, 220 / $1, 100 * $1 / $2 }'

# Peak resident size: one 64 x 64 picture under 100 qualities, then 100 of
# them (10 000 compressions).
mkdir -p "$work/hundred"
for i in $(seq -w 1 100); do cp "$work/tiny.ppm" "$work/hundred/tiny$i.ppm"; done
peak() {
    /usr/bin/time -f %M "$sweep" --auto-quality 1:100:1 --no-manual-quality -q \
        -o "$work/out.csv" --report "$work/report.txt" "$1" 2>&1 >/dev/null | tail -1
}
small=$(peak "$work/one")
large=$(peak "$work/hundred")
echo "peak resident size: 100 compressions $small KB, 10000 compressions $large KB," \
    "difference $(( (large - small) / 1024 )) MB"
