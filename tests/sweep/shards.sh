#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# shards.sh TESSERA_SWEEP PICTURE...: a sweep of three pictures in four
# shards run by GNU parallel, one shard empty, merged back to the single
# run's table; then what must be refused: a resume of another sweep or shard
# (the file left as it was), a merge with a shard missing, a part cut short
# or a part of another sweep. A resume from another folder and an
# incomplete merge that is asked for go through. Exit 77: skipped.
set -euo pipefail
sweep=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
same() { /usr/bin/python3 "$here/same_table.py" "$1" "$2"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect STATUS COMMAND...: runs the command, its standard error kept in err.txt.
expect() {
    local want=$1 got=0
    shift
    "$@" 2>err.txt || got=$?
    [ "$got" -eq "$want" ] || { cat err.txt >&2; fail "exit $got, not $want: $*"; }
}
if ! command -v parallel >/dev/null; then
    echo "SKIP: GNU parallel is not installed"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir pics
i=0
for picture in "$@" "$1"; do
    cp "$picture" "pics/p$i.png"
    i=$((i + 1))
done
sweepargs=(--auto-quality 50:90:40 --huffman no,yes -q -j 1)

expect 0 "$sweep" "${sweepargs[@]}" -o single.csv pics
parallel --will-cite "$sweep" "${sweepargs[@]}" --shard {}/4 -o part{}.csv pics \
    '2>' err{}.txt ::: 0 1 2 3
grep -q "shard 3/4 has no pictures" err3.txt || fail "no word on the empty shard"
[ "$(wc -l <part3.csv)" -eq 1 ] || fail "the empty shard's part is not its header alone"
expect 0 "$sweep" merge all.csv part0.csv part1.csv part2.csv part3.csv
same all.csv single.csv || fail "merged shards differ from the single run"
"$sweep" merge - part*.csv >stdout.csv
cmp -s stdout.csv all.csv || fail "merge - differs from the merged file"

# Another sweep, another shard: refused, the file untouched.
cp single.csv before.csv
expect 2 "$sweep" --auto-quality 30:90:30 --dct float --mode extended -q --resume \
    -o single.csv pics
grep -q "sweep" err.txt && cmp -s single.csv before.csv || fail "resume of another sweep"
cp part0.csv before.csv
expect 2 "$sweep" "${sweepargs[@]}" --shard 1/4 --resume -o part0.csv pics
grep -q "shard 1/4 in this run, 0/4 in the file" err.txt && cmp -s part0.csv before.csv ||
    fail "resume of another shard"
# A part cut short, resumed from inside the picture folder.
head -n 3 before.csv >part0.csv
expect 2 "$sweep" merge cut.csv part0.csv part1.csv part2.csv
grep -q "part0.csv (shard 0/4) is cut short" err.txt && [ ! -e cut.csv ] || fail "merge of a cut part"
(cd pics && expect 0 "$sweep" "${sweepargs[@]}" --shard 0/4 --resume -o ../part0.csv .)
same part0.csv before.csv || fail "resume from another folder"

# A missing shard: refused, or merged when asked, saying what is missing.
expect 2 "$sweep" merge some.csv part0.csv part2.csv part3.csv
grep -q "shard 1/4 is missing" err.txt && [ ! -e some.csv ] || fail "merge without shard 1"
expect 0 "$sweep" merge --allow-incomplete some.csv part0.csv part2.csv
grep -q "shard 1/4 is missing" err.txt && [ "$(wc -l <some.csv)" -eq $(($(wc -l <part0.csv) + $(wc -l <part2.csv) - 1)) ] ||
    fail "merge --allow-incomplete"
# A part of another sweep.
expect 0 "$sweep" --auto-quality 50:90:20 -q --shard 1/4 -o other.csv pics
expect 2 "$sweep" merge mixed.csv part0.csv other.csv part2.csv
grep -q "different sweeps" err.txt && [ ! -e mixed.csv ] || fail "merge of two sweeps"
# Names that are not UTF-8, from a folder and from the command line: each
# loads, and the table holds the bytes escaped.
mkdir odd
cp "$1" "odd/caf"$'\xe9'".png"
cp "$1" "odd/back\\slash.png"
expect 0 "$sweep" --auto-quality 50:50:0 -q -o odd.csv odd
grep -q 'odd/caf\\xe9.png,' odd.csv && grep -q 'odd/back\\\\slash.png,' odd.csv ||
    fail "names escaped: $(cut -d, -f3 odd.csv)"
[ "$(grep -c ',ok,' odd.csv)" -eq 4 ] || fail "pictures with odd names did not load"
expect 0 "$sweep" --auto-quality 50:50:0 -q -o named.csv "odd/caf"$'\xe9'".png"
grep -q 'odd/caf\\xe9.png,' named.csv && [ "$(grep -c ',ok,' named.csv)" -eq 2 ] ||
    fail "a name that is not UTF-8 on the command line"
echo "PASS"
