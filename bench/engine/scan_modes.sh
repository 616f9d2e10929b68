#!/usr/bin/env bash
# Times `scan --all` of one arcade collection (parents, two clones each, a
# BIOS every game boots) with an older build in split mode against this
# build in each merge mode, interleaved, and prints each one's median of
# five and its ratio to the older build's, with the load average: a merge
# mode must not make the scan of the same collection slower.
#   bench/engine/scan_modes.sh OLD_PROGRAM NEW_PROGRAM [PARENTS]
set -euo pipefail
old=$1 new=$2 parents=${3:-3000}
dir=$(mktemp -d /tmp/quorvane-scan-modes-XXXXXX)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir" "$parents" <<'PY'
import os, random, sys, zipfile
out, parents = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
folder = os.path.join(out, "base", "Arc")
os.makedirs(folder)
def rom(n):
    return rng.randbytes(rng.randint(2048, 16384))
xml = ['<?xml version="1.0"?>\n<datafile>\n<header><name>Arc</name><version>1</version><author>bench</author></header>\n']
def row(name, data, merge=""):
    import zlib
    return '<rom name="%s" size="%d" crc="%08x"%s/>\n' % (name, len(data), zlib.crc32(data), merge)
bios = [("bios%d.rom" % j, rom(j)) for j in range(2)]
xml.append('<machine name="bios" isbios="yes">\n' + "".join(row(n, d) for n, d in bios) + '</machine>\n')
with zipfile.ZipFile(os.path.join(folder, "bios.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for n, d in bios: z.writestr(n, d)
for i in range(parents):
    parent = "game%05d" % i
    own = [("p%d.rom" % j, rom(j)) for j in range(3)]
    shared = "".join(row(n, d, ' merge="%s"' % n) for n, d in bios)
    xml.append('<machine name="%s" romof="bios">\n' % parent + "".join(row(n, d) for n, d in own) + shared + '</machine>\n')
    with zipfile.ZipFile(os.path.join(folder, parent + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for n, d in own: z.writestr(n, d)
    for c in range(2):
        clone = "%sc%d" % (parent, c)
        mine = [("c%d.rom" % j, rom(j)) for j in range(2)]
        xml.append('<machine name="%s" cloneof="%s" romof="%s">\n' % (clone, parent, parent) +
                   "".join(row(n, d, ' merge="%s"' % n) for n, d in own[:2]) + "".join(row(n, d) for n, d in mine) +
                   shared + '</machine>\n')
        with zipfile.ZipFile(os.path.join(folder, clone + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
            for n, d in mine: z.writestr(n, d)
xml.append('</datafile>\n')
open(os.path.join(out, "arc.xml"), "w").write("".join(xml))
PY
runs=(old split merged non-merged full-non-merged)
for who in "${runs[@]}"; do
  mkdir -p "$dir/home-$who"
  { echo "[Quorvane]"; echo "basedir=$dir/base"
    for key in tosecdir gooddir arcadedir arcadeunemudir miscdir customdir; do echo "$key=\$BASEDIR\$"; done
    [ "$who" = old ] || echo "merge-mode=$who"
  } > "$dir/home-$who/quorvane.INI"
  program=$new; [ "$who" = old ] && program=$old
  "$program" --home "$dir/home-$who" import "$dir/arc.xml" > /dev/null 2>&1
done
find "$dir/base" -type f -exec cat {} + > /dev/null
declare -A times
for round in 1 2 3 4 5; do
  for who in "${runs[@]}"; do
    program=$new; [ "$who" = old ] && program=$old
    start=$(date +%s.%N)
    "$program" --home "$dir/home-$who" scan --all > "$dir/scan-$who.log" 2>&1
    end=$(date +%s.%N)
    times[$who]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
  done
done
median() { tr ' ' '\n' | grep . | sort -n | sed -n 3p; }
mo=$(echo "${times[old]}" | median)
echo "scan --all of $parents parents with two clones each (split layout), five runs each, interleaved"
for who in "${runs[@]}"; do
  m=$(echo "${times[$who]}" | median)
  printf "%-16s %s(median %s s, %s of old split)\n" "$who" "${times[$who]}" "$m" "$(awk -v a="$mo" -v b="$m" 'BEGIN { printf "%.3f", b / a }')"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
