#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Includes run down only: programs -> front-end libraries -> core. core/
# includes no header of a front-end library or a program, and no front-end
# library includes a header of a program. Headers are included by their
# name alone, so each name is looked up in the folder that holds it.
# Usage: check_layers.sh SOURCE_DIR; exit status 0 when every include runs
# down, 1 (listing the ones that run up) otherwise.
set -eu
cd "$1"
libraries="batch analysis viewer dialogs desktop optimiser"
# shellcheck disable=SC2086 # the folder list is words
{
    find core $libraries apps -name '*.h'
    echo '--'
    find core $libraries \( -name '*.h' -o -name '*.cpp' \) -exec \
        grep -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' {} +
} | awk '
    $0 == "--" { including = 1; next }
    !including {
        name = $0; sub(/.*\//, "", name)
        top = $0; sub(/\/.*/, "", top)
        layer[name] = top
        next
    }
    {
        file = $0; sub(/:.*/, "", file)
        from = file; sub(/\/.*/, "", from)
        name = $0; sub(/^[^"]*"/, "", name); sub(/".*/, "", name); sub(/.*\//, "", name)
        if (!(name in layer))
            next
        to = layer[name]
        if (from == "core" ? to != "core" : to == "apps") {
            printf "%s includes %s from %s/\n", file, name, to
            bad = 1
        }
        checked++
    }
    END {
        if (checked == 0) {
            print "no includes found"
            exit 1
        }
        if (!bad)
            printf "%d includes, all running down\n", checked
        exit bad
    }
'
