#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the batch of tessera_bench with Debian's cjpeg and djpeg (package
# libjpeg-turbo-progs): every picture under every entry, each compression
# written to a file and decoded again, all on one core.
#
#   bench/compare_cjpeg.sh BUILD_DIR [tessera_bench options...]
#
# Prints the compressions per second beside the benchmark's own figures.
set -eu
build=$(cd "${1:?usage: compare_cjpeg.sh BUILD_DIR [tessera_bench options...]}" && pwd)
shift
bench="$build/bench/tessera_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
taskset -p -c 0 $$ > /dev/null

rounds=3
"$bench" --cjpeg "$work" "$@"
(
    cd "$work"
    pictures=$(ls *.ppm)
    count=0
    start=$(date +%s.%N)
    for round in $(seq $rounds); do
        for ppm in $pictures; do
            while read -r options; do
                cjpeg $options "$ppm" > out.jpg
                djpeg -dct int out.jpg > decoded.pnm
                count=$((count + 1))
            done < entries.txt
        done
    done
    end=$(date +%s.%N)
    echo "cjpeg + djpeg: $count compressions in $(echo "$end - $start" | bc) s," \
        "$(echo "scale=1; $count / ($end - $start)" | bc) per second"
)
echo "tessera_bench, same batch:"
"$bench" --repeat $rounds "$@"
