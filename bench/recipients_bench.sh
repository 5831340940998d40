#!/usr/bin/env bash
# Times `vellumark-cli stamp --recipients` (100 copies of a 1,000-page text
# document, one per row, the document loaded once) against 100 single
# `stamp` runs making the same copies. Prints best-of-3 wall time, peak
# memory and processor time, and the ratio.
# Usage: bench/recipients_bench.sh [SOURCE.pdf] (default: a corpus file)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_common.sh

make_doc 1000 "$WORK/doc.pdf"
{
  echo "name,email"
  for i in $(seq 1 100); do echo "Reader $i,reader$i@example.com"; done
} >"$WORK/people.csv"
TEXT='Licensed to <%name%> <%email%>'

read -r ct cm cc < <(measure "$CLI" stamp "$WORK/doc.pdf" --recipients "$WORK/people.csv" \
  --output-name 'copy-<%name%>' -o "$WORK/copies" --text "$TEXT" --quiet)
singles() {
  mkdir -p "$WORK/singles"
  for i in $(seq 1 100); do
    "$CLI" stamp "$WORK/doc.pdf" -o "$WORK/singles/copy-Reader $i.pdf" \
      --text "Licensed to Reader $i reader$i@example.com"
  done
}
export -f singles
export CLI WORK
read -r st sm sc < <(measure bash -c singles)
echo "100 copies of 1,000 pages: --recipients ${ct} ms (${cm} KiB, cpu ${cc} ms)," \
  "100 single stamps ${st} ms (${sm} KiB, cpu ${sc} ms)," \
  "$(awk -v a="$st" -v b="$ct" 'BEGIN { printf "%.1f", a / b }')x faster"
