#!/usr/bin/env bash
# Times `vellumark-cli rewrite` against `qpdf IN OUT` on 1,000- and 10,000-page
# documents built with qpdf from a real file and on a 2,000-page scanned
# document of some 600 MB, plain and encrypted with AES-256, in one run, and
# prints the ratio and the peak memory of both.
# Usage: bench/rewrite_bench.sh [SOURCE.pdf] (default: a corpus file)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_common.sh
run() {  # label input [password]
  read -r ot om _ < <(measure "$CLI" rewrite "$2" -o "$WORK/ours.pdf" ${3:+--password "$3"})
  read -r qt qm _ < <(measure qpdf ${3:+--password="$3"} "$2" "$WORK/qpdf.pdf")
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
make_scans 2000 "$WORK/scans.pdf"
run "2000 scanned pages" "$WORK/scans.pdf"
# Encrypted data is decrypted and encrypted again on the way to the output.
qpdf --encrypt u o 256 -- "$WORK/scans.pdf" "$WORK/scans-aes.pdf"
rm -f "$WORK/scans.pdf"
run "2000 scanned pages, AES-256" "$WORK/scans-aes.pdf" u
rm -f "$WORK/scans-aes.pdf"
