#!/usr/bin/env bash
# The README's way of spreading one job over several machines with GNU
# parallel, run here on this machine alone (the sshlogin ":") with two jobs
# at a time: every picture converted under its job's own name, then merged
# into one numbered series in input order.
# Usage: scale-out-check.sh <folder of pictrove-convert> <work-folder>
set -u
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work/in"
command -v parallel >/dev/null || { echo "GNU parallel is not installed (scripts/install-deps.sh --test)"; exit 1; }
cd "$work"
for name in a b c d e; do
  printf 'P6\n3 2\n255\n' >"in/$name.ppm"
  head -c 18 /dev/urandom >>"in/$name.ppm"
done
export PATH="$bin:$PATH"
# As in the README, with the list of machines reduced to this one.
parallel --will-cite --sshlogin 2/: --transferfile {} --return out/{#}-1.png --cleanup \
  "mkdir -p out && pictrove-convert -q -f 'PNG-24 bit' -o out -n {#}- {}" ::: in/*.ppm \
  >parallel.log 2>&1 || { cat parallel.log; exit 1; }
i=0
for f in $(ls out/*-1.png | sort -t/ -k2 -n); do
  i=$((i + 1))
  mv "$f" "out/holiday$i.png"
done
fail=0
for n in 1 2 3 4 5; do
  [[ -s "out/holiday$n.png" ]] && echo "ok   out/holiday$n.png" || { echo "MISSING out/holiday$n.png"; fail=1; }
done
left=$(ls out | grep -v '^holiday' || true)
[[ -z "$left" ]] || { echo "left over: $left"; fail=1; }
exit $fail
