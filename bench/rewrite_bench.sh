#!/usr/bin/env bash
# Times `vellumark-cli rewrite` against `qpdf IN OUT` on 1,000- and 10,000-page
# documents built with qpdf from a real file, in one run, and prints the ratio.
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
now() { date +%s%N; }
best_of() {  # best wall time in ms of 3 runs
  local best=""
  for _ in 1 2 3; do
    local t0 t1; t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
    local ms=$(( (t1 - t0) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
echo "source: $SRC ($pages pages)"
for n in 1000 10000; do
  make_doc "$n" "$WORK/in$n.pdf"
  ours=$(best_of "$CLI" rewrite "$WORK/in$n.pdf" -o "$WORK/ours$n.pdf")
  theirs=$(best_of qpdf "$WORK/in$n.pdf" "$WORK/qpdf$n.pdf")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  echo "$n pages: vellumark-cli rewrite ${ours} ms, qpdf ${theirs} ms, ratio ${ratio}"
done
