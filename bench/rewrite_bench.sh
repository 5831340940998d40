#!/usr/bin/env bash
# Times `vellumark-cli rewrite` against `qpdf IN OUT` on 1,000- and 10,000-page
# documents built with qpdf from a real file and on a 2,000-page scanned
# document of some 600 MB, in one run, and prints the ratio and the peak
# memory of both.
# Usage: bench/rewrite_bench.sh [SOURCE.pdf] (default: a corpus file)
set -euo pipefail
cd "$(dirname "$0")/.."
CLI=${CLI:-build/cli/vellumark-cli}
SRC=${1:-../shared/corpus/files/pdfjs-tracemonkey.pdf}
[ -f "$SRC" ] || SRC=$(ls ../shared/corpus/files/*.pdf | head -1)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

pages=$(qpdf --show-npages "$SRC")
make_doc() {  # N pages from SRC repeated
  local want=$1 out=$2 args=() have=0
  while [ "$have" -lt "$want" ]; do args+=("$SRC" "1-z"); have=$((have + pages)); done
  qpdf --empty --pages "${args[@]}" -- "$WORK/tmp.pdf"
  qpdf --empty --pages "$WORK/tmp.pdf" "1-$want" -- "$out"
}
# Best of 3: "milliseconds peak-KiB" of the fastest run.
measure() {
  local best="" mem=""
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >/dev/null 2>&1 || true
    read -r secs kib <"$WORK/time"
    local ms
    ms=$(awk -v s="$secs" 'BEGIN { printf "%d", s * 1000 }')
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; mem=$kib; fi
  done
  echo "$best $mem"
}
run() {  # label input
  read -r ot om < <(measure "$CLI" rewrite "$2" -o "$WORK/ours.pdf")
  read -r qt qm < <(measure qpdf "$2" "$WORK/qpdf.pdf")
  ratio=$(awk -v a="$ot" -v b="$qt" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  echo "$1: vellumark-cli rewrite ${ot} ms ${om} KiB, qpdf ${qt} ms ${qm} KiB, time ratio ${ratio}"
  rm -f "$WORK/ours.pdf" "$WORK/qpdf.pdf"
}
echo "source: $SRC ($pages pages)"
for n in 1000 10000; do
  make_doc "$n" "$WORK/in$n.pdf"
  run "$n pages" "$WORK/in$n.pdf"
  rm -f "$WORK/in$n.pdf"
done
python3 bench/make_scans.py 2000 "$WORK/scans.pdf"
run "2000 scanned pages" "$WORK/scans.pdf"
