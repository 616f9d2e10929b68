#!/usr/bin/env bash
# Times `scan --all` of one generated collection with two builds of quorvane,
# interleaved (old, new, old, new, ...), and prints each one's median of five
# and their ratio, with the load average: a change must not slow the scan of
# an ordinary collection.
#   bench/engine/scan_against.sh OLD_PROGRAM NEW_PROGRAM [GAMES]
set -euo pipefail
old=$1 new=$2 games=${3:-10000}
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d /tmp/quorvane-scan-against-XXXXXX)
trap 'rm -rf "$dir"' EXIT
python3 "$here/make_engine_collection.py" "$dir" --games "$games" > /dev/null
mkdir -p "$dir/base"
ln -s "$dir/clean" "$dir/base/Bench"
for who in old new; do
  mkdir -p "$dir/home-$who"
  { echo "[Quorvane]"; echo "basedir=$dir/base"
    for key in tosecdir gooddir arcadedir arcadeunemudir miscdir customdir; do echo "$key=\$BASEDIR\$"; done
  } > "$dir/home-$who/quorvane.INI"
  program=${!who}
  "$program" --home "$dir/home-$who" import "$dir/bench.dat" > /dev/null 2>&1
done
find "$dir/clean" -type f -exec cat {} + > /dev/null
declare -A times
for round in 1 2 3 4 5; do
  for who in old new; do
    program=${!who}
    start=$(date +%s.%N)
    "$program" --home "$dir/home-$who" scan --all > "$dir/scan-$who.log" 2>&1
    end=$(date +%s.%N)
    times[$who]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
  done
done
median() { tr ' ' '\n' | grep . | sort -n | sed -n 3p; }
mo=$(echo "${times[old]}" | median) mn=$(echo "${times[new]}" | median)
echo "scan --all of $games games, five runs each, interleaved"
echo "old: ${times[old]}(median $mo s)"
echo "new: ${times[new]}(median $mn s)"
echo "new / old: $(awk -v a="$mo" -v b="$mn" 'BEGIN { printf "%.3f", b / a }')   load average: $(cut -d' ' -f1-3 /proc/loadavg)"
diff <(grep -v "^20" "$dir/scan-old.log") <(grep -v "^20" "$dir/scan-new.log") > /dev/null || echo "note: the two scans' outputs differ"
