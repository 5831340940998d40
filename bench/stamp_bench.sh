#!/usr/bin/env bash
# Times `vellumark-cli stamp` (the default job; also Latin against mixed-script
# text on 1,000 pages) beside `qpdf --overlay` of a
# one-page stamp and beside our own `rewrite`, on the same inputs, in one run:
# 1,000- and 10,000-page text documents built with qpdf from a real file, and
# a 2,000-page document of scanned page images (one image of its own per
# page, about 300 KB each: some 600 MB in all). Prints best-of-3 wall time,
# the peak memory and the processor time (user + system) of that run, and
# ratios. On a busy machine the processor times compare better than the wall
# times.
# Usage: bench/stamp_bench.sh [SOURCE.pdf] (default: a corpus file)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_common.sh
# "-" when the divisor is 0 (processor times come in 10 ms steps).
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# The one-page stamp qpdf lays over every page: our default job on a blank page.
printf '%%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >> endobj\ntrailer << /Root 1 0 R >>\n%%%%EOF\n' >"$WORK/blank-raw.pdf"
qpdf "$WORK/blank-raw.pdf" "$WORK/blank.pdf" 2>/dev/null || true
"$CLI" stamp "$WORK/blank.pdf" -o "$WORK/stamp.pdf"

echo "source: $SRC ($pages pages)"
run() {  # label input
  local label=$1 in=$2
  read -r st sm sc < <(measure "$CLI" stamp "$in" -o "$WORK/ours.pdf")
  read -r rt rm rc < <(measure "$CLI" rewrite "$in" -o "$WORK/rewrite.pdf")
  read -r qt qm _ < <(measure qpdf "$in" --overlay "$WORK/stamp.pdf" --repeat=1 -- "$WORK/qpdf.pdf")
  local size
  size=$(awk -v b="$(stat -c %s "$in")" 'BEGIN { printf "%.1f", b / 1048576 }')
  echo "$label ($size MB): stamp ${st} ms ${sm} KiB (cpu ${sc} ms);" \
    "rewrite ${rt} ms ${rm} KiB (cpu ${rc} ms); qpdf --overlay ${qt} ms ${qm} KiB"
  echo "    stamp/qpdf time $(ratio "$st" "$qt"), stamp/rewrite time $(ratio "$st" "$rt")," \
    "cpu $(ratio "$sc" "$rc"), memory $(ratio "$sm" "$rm")"
}
LOADBENCH=${LOADBENCH:-build/bench/bench_load}
for n in 1000 10000; do
  make_doc "$n" "$WORK/in$n.pdf"
  run "$n text pages" "$WORK/in$n.pdf"
  # Heap the loaded document holds per stored object (a -DVX_BUILD_BENCH=ON build).
  if [ "$n" = 10000 ] && [ -x "$LOADBENCH" ]; then
    VX_BENCH_FILE="$WORK/in$n.pdf" "$LOADBENCH" --benchmark_filter=Load/VX_BENCH_FILE 2>/dev/null |
      grep -o 'bytes_per_object=[^ ]*\|objects=[^ ]*' | tr '\n' ' ' | sed 's/^/    per object: /'
    echo
  fi
  if [ "$n" = 1000 ]; then
    # Text in several scripts (shaped, three faces subset) against Latin text.
    mixed="CONFIDENTIAL 機密 Секретно سري"
    read -r lt lm lc < <(measure "$CLI" stamp "$WORK/in$n.pdf" -o "$WORK/latin.pdf" --text "CONFIDENTIAL SECRET")
    read -r mt mm mc < <(measure "$CLI" stamp "$WORK/in$n.pdf" -o "$WORK/mixed.pdf" --text "$mixed")
    echo "    mixed scripts ${mt} ms ${mm} KiB (cpu ${mc} ms), Latin ${lt} ms ${lm} KiB (cpu ${lc} ms):" \
      "mixed/Latin time $(ratio "$mt" "$lt"), cpu $(ratio "$mc" "$lc"), memory +$((mm - lm)) KiB;" \
      "sizes $(stat -c %s "$WORK/latin.pdf") $(stat -c %s "$WORK/mixed.pdf")"
  fi
  if [ "$n" = 10000 ]; then
    # Sizing to the page and tiling against the plain stamp, same input.
    read -r pt _ pc < <(measure "$CLI" stamp "$WORK/in$n.pdf" -o "$WORK/ours.pdf")
    read -r tt _ tc < <(measure "$CLI" stamp "$WORK/in$n.pdf" -o "$WORK/tiled.pdf" --tile)
    read -r zt _ zc < <(measure "$CLI" stamp "$WORK/in$n.pdf" -o "$WORK/scaled.pdf" --scale 50)
    echo "    --tile ${tt} ms (cpu ${tc} ms), --scale 50 ${zt} ms (cpu ${zc} ms), plain ${pt} ms" \
      "(cpu ${pc} ms): tile/plain $(ratio "$tt" "$pt"), scale/plain $(ratio "$zt" "$pt");" \
      "sizes $(stat -c %s "$WORK/ours.pdf") $(stat -c %s "$WORK/tiled.pdf") $(stat -c %s "$WORK/scaled.pdf")"
  fi
  rm -f "$WORK/in$n.pdf"
done
make_scans 2000 "$WORK/scans.pdf"
run "2000 scanned pages" "$WORK/scans.pdf"
