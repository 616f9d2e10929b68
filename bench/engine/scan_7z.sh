#!/usr/bin/env bash
# What a scan of sets kept as 7z costs next to the archiver itself: times
# `scan --all` of a generated collection whose sets are 7z (solid, LZMA2) and
# `7zz t` of the same files, interleaved, median of five each, with their
# ratio and the load average. The same collection as zips is timed too, for
# the price of the format.
#   bench/engine/scan_7z.sh PROGRAM [GAMES]
set -euo pipefail
program=$1 games=${2:-2000}
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d /tmp/quorvane-scan-7z-XXXXXX)
trap 'rm -rf "$dir"' EXIT
python3 "$here/make_engine_collection.py" "$dir" --games "$games" > /dev/null
mkdir -p "$dir/base/Zip" "$dir/base/Sevenzip" "$dir/unpack"
cp "$dir"/clean/*.zip "$dir/base/Zip/"
for zip in "$dir"/clean/*.zip; do
  name=$(basename "$zip" .zip)
  rm -rf "$dir/unpack"/* && (cd "$dir/unpack" && unzip -qq "$zip" && 7zz a -bso0 -bsp0 "$dir/base/Sevenzip/$name.7z" .)
done
sed 's/^\(\s*name\s*\)"\?Bench"\?/\1Zip/' "$dir/bench.dat" > "$dir/zip.dat"
sed 's/^\(\s*name\s*\)"\?Bench"\?/\1Sevenzip/' "$dir/bench.dat" > "$dir/sevenzip.dat"
mkdir -p "$dir/home"
{ echo "[Quorvane]"; echo "basedir=$dir/base"
  for key in tosecdir gooddir arcadedir arcadeunemudir miscdir customdir; do echo "$key=\$BASEDIR\$"; done
} > "$dir/home/quorvane.INI"
"$program" --home "$dir/home" import --yes "$dir/zip.dat" "$dir/sevenzip.dat" > /dev/null 2>&1
find "$dir/base" -type f -exec cat {} + > /dev/null
declare -A times
time_of() { local start end; start=$(date +%s.%N); "$@" > /dev/null 2>&1 || true; end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'; }
for round in 1 2 3 4 5; do
  times[scan7z]+="$(time_of "$program" --home "$dir/home" scan Sevenzip) "
  times[test7z]+="$(time_of sh -c "for f in '$dir'/base/Sevenzip/*.7z; do 7zz t -bso0 -bsp0 \"\$f\"; done") "
  times[scanzip]+="$(time_of "$program" --home "$dir/home" scan Zip) "
done
median() { tr ' ' '\n' | grep . | sort -n | sed -n 3p; }
s7=$(echo "${times[scan7z]}" | median) t7=$(echo "${times[test7z]}" | median) sz=$(echo "${times[scanzip]}" | median)
echo "$games games of 3 ROMs, five runs each, interleaved"
echo "scan of the 7z sets:  ${times[scan7z]}(median $s7 s)"
echo "7zz t of the same:    ${times[test7z]}(median $t7 s)"
echo "scan of the zip sets: ${times[scanzip]}(median $sz s)"
echo "scan 7z / 7zz t: $(awk -v a="$t7" -v b="$s7" 'BEGIN { printf "%.2f", b / a }')   scan 7z / scan zip: $(awk -v a="$sz" -v b="$s7" 'BEGIN { printf "%.2f", b / a }')   load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "7z sets:  $("$program" --home "$dir/home" scan Sevenzip 2>&1 | grep -m1 'Games:')"
echo "zip sets: $("$program" --home "$dir/home" scan Zip 2>&1 | grep -m1 'Games:')"
