#!/usr/bin/env bash
# For each merge mode: one arcade collection laid out in that mode (parents,
# two clones each, a BIOS for every 50 parents), scanned by an older build (in
# split mode, the only one it knows) and by this build in that mode,
# interleaved; prints the medians of five and their ratio, with the load
# average. A merge mode must not make the scan of a collection slower.
#   bench/engine/scan_modes.sh OLD_PROGRAM NEW_PROGRAM [PARENTS]
set -euo pipefail
old=$1 new=$2 parents=${3:-3000}
modes=(split merged non-merged full-non-merged)
dir=$(mktemp -d /tmp/quorvane-scan-modes-XXXXXX)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir" "$parents" <<'PY'
import os, random, sys, zipfile, zlib
out, parents = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
def rom():
    return rng.randbytes(rng.randint(2048, 16384))
def row(name, data, merge=""):
    return '<rom name="%s" size="%d" crc="%08x"%s/>\n' % (name, len(data), zlib.crc32(data), merge)
# A real list has dozens of BIOS sets, each booting up to a few hundred games.
bioses = {"bios%03d" % k: [("bios%d.rom" % j, rom()) for j in range(2)] for k in range((parents + 49) // 50)}
games = []  # (name, parent or None, own roms, roms from the parent, BIOS)
for i in range(parents):
    parent = "game%05d" % i
    bios = "bios%03d" % (i // 50)
    own = [("p%d.rom" % j, rom()) for j in range(3)]
    games.append((parent, None, own, [], bios))
    for c in range(2):
        games.append(("%sc%d" % (parent, c), parent, [("c%d.rom" % j, rom()) for j in range(2)], own[:2], bios))
xml = ['<?xml version="1.0"?>\n<datafile>\n<header><name>Arc</name><version>1</version><author>bench</author></header>\n']
for name, roms in bioses.items():
    xml.append('<machine name="%s" isbios="yes">\n' % name + "".join(row(n, d) for n, d in roms) + '</machine>\n')
for name, parent, own, inherited, bios in games:
    attrs = ' cloneof="%s" romof="%s"' % (parent, parent) if parent else ' romof="%s"' % bios
    xml.append('<machine name="%s"%s>\n' % (name, attrs) + "".join(row(n, d, ' merge="%s"' % n) for n, d in inherited) +
               "".join(row(n, d) for n, d in own) + "".join(row(n, d, ' merge="%s"' % n) for n, d in bioses[bios]) +
               '</machine>\n')
xml.append('</datafile>\n')
open(os.path.join(out, "arc.xml"), "w").write("".join(xml))
for mode in ("split", "merged", "non-merged", "full-non-merged"):
    folder = os.path.join(out, "base-" + mode, "Arc")
    os.makedirs(folder)
    sets = {name: list(roms) for name, roms in bioses.items()}
    for name, parent, own, inherited, bios in games:
        if mode == "split":
            sets[name] = own
        elif mode == "merged":
            # A clone's ROM whose name the set already uses for other content
            # goes in as "<clone>/<name>".
            held = sets.setdefault(parent or name, [])
            names = {n for n, d in held}
            held.extend((n if n not in names else name + "/" + n, d) for n, d in own)
        else:
            sets[name] = inherited + own + (bioses[bios] if mode == "full-non-merged" else [])
    for name, roms in sets.items():
        with zipfile.ZipFile(os.path.join(folder, name + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
            for n, d in roms: z.writestr(n, d)
PY
for mode in "${modes[@]}"; do
  for who in old new; do
    home="$dir/home-$who-$mode"
    mkdir -p "$home"
    { echo "[Quorvane]"; echo "basedir=$dir/base-$mode"
      for key in tosecdir gooddir arcadedir arcadeunemudir miscdir customdir; do echo "$key=\$BASEDIR\$"; done
      [ "$who" = old ] || echo "merge-mode=$mode"
    } > "$home/quorvane.INI"
    "${!who}" --home "$home" import "$dir/arc.xml" > /dev/null 2>&1
  done
done
find "$dir" -name '*.zip' -exec cat {} + > /dev/null
declare -A times
for round in 1 2 3 4 5; do
  for mode in "${modes[@]}"; do
    for who in old new; do
      start=$(date +%s.%N)
      "${!who}" --home "$dir/home-$who-$mode" scan --all > "$dir/scan-$who-$mode.log" 2>&1
      end=$(date +%s.%N)
      times[$who-$mode]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
    done
  done
done
median() { tr ' ' '\n' | grep . | sort -n | sed -n 3p; }
echo "scan --all of $parents parents with two clones each, each collection in one mode; five runs each, interleaved"
for mode in "${modes[@]}"; do
  mo=$(echo "${times[old-$mode]}" | median) mn=$(echo "${times[new-$mode]}" | median)
  printf "%-16s old (split rules) %s s, new (%s) %s s: new / old %s\n" "$mode" "$mo" "$mode" "$mn" \
    "$(awk -v a="$mo" -v b="$mn" 'BEGIN { printf "%.3f", b / a }')"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
