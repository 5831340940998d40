#!/usr/bin/env bash
# Many files at once, against the peers, in one run (ratios):
# - 1,000 one-page files (the pages of a real book): one batch against a
#   shell loop of our single-file stamp and a loop of `mutool run`;
# - 100 recipients of a 1,000-page document against 100 `mutool run`s;
# - a 2,000-page scan (about 600 MB) against `cp` of the same file;
# - peak memory stamping 10,000 text pages, ours against mutool's.
# Usage (from the checkout root, after a build): bench/batch_bench.sh [SOURCE.pdf]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_common.sh
command -v mutool >/dev/null || { echo "mutool (mupdf-tools) is needed as the peer"; exit 1; }
STAMPJS=bench/mutool_stamp.js

# Milliseconds and peak KiB of one run of a command.
once() {
  sync
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$WORK/time" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $(tail -1 "$WORK/time")"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "== 1,000 one-page files"
make_doc 1000 "$WORK/thousand.pdf"
mkdir -p "$WORK/single" "$WORK/out-batch" "$WORK/out-loop" "$WORK/out-mutool"
qpdf --split-pages "$WORK/thousand.pdf" "$WORK/single/page-%d.pdf"
sync
loop_ours() { for f in "$WORK"/single/*.pdf; do "$CLI" stamp "$f" -o "$WORK/out-loop/${f##*/}"; done; }
loop_mutool() { for f in "$WORK"/single/*.pdf; do mutool run "$STAMPJS" "$f" "$WORK/out-mutool/${f##*/}"; done; }
export -f loop_ours loop_mutool
export CLI WORK STAMPJS
read -r batch_ms batch_kib < <(once "$CLI" stamp "$WORK"/single/*.pdf -o "$WORK/out-batch" --quiet)
read -r loop_ms _ < <(once bash -c loop_ours)
read -r mutool_ms _ < <(once bash -c loop_mutool)
echo "batch ${batch_ms} ms (peak ${batch_kib} KiB), our loop ${loop_ms} ms, mutool loop ${mutool_ms} ms"
echo "mutool loop / batch: $(ratio "$mutool_ms" "$batch_ms") (target >= 4)"
echo "our loop / batch:    $(ratio "$loop_ms" "$batch_ms") (target >= 6)"
echo "batch peak memory:   $((batch_kib / 1024)) MiB (target < 200)"
rm -rf "$WORK/single" "$WORK"/out-*

if "$CLI" stamp --help 2>&1 | grep -q -- --recipients; then
  echo "== 100 recipients of a 1,000-page document"
  {
    echo "name,email"
    for i in $(seq 1 100); do echo "Reader $i,reader$i@example.com"; done
  } >"$WORK/people.csv"
  mkdir -p "$WORK/copies" "$WORK/copies-mutool"
  read -r copies_ms copies_kib < <(once "$CLI" stamp "$WORK/thousand.pdf" --recipients "$WORK/people.csv" \
    --output-name 'copy-<%email%>.pdf' -o "$WORK/copies" --text 'Licensed to <%name%>' --quiet)
  runs_mutool() {
    for i in $(seq 1 100); do
      mutool run "$STAMPJS" "$WORK/thousand.pdf" "$WORK/copies-mutool/copy-$i.pdf" "Licensed to Reader $i"
    done
  }
  export -f runs_mutool
  read -r mcopies_ms _ < <(once bash -c runs_mutool)
  echo "recipients ${copies_ms} ms (peak ${copies_kib} KiB), 100 mutool runs ${mcopies_ms} ms"
  echo "mutool runs / recipients: $(ratio "$mcopies_ms" "$copies_ms") (target >= 5)"
  rm -rf "$WORK/copies" "$WORK/copies-mutool"
fi
rm -f "$WORK/thousand.pdf"

echo "== 2,000-page scan"
make_scans 2000 "$WORK/scans.pdf"
read -r stamp_ms _ _ < <(measure "$CLI" stamp "$WORK/scans.pdf" -o "$WORK/scans-out.pdf")
rm -f "$WORK/scans-out.pdf"
read -r cp_ms _ _ < <(measure cp "$WORK/scans.pdf" "$WORK/scans-out.pdf")
echo "stamp ${stamp_ms} ms, cp ${cp_ms} ms: stamp / cp $(ratio "$stamp_ms" "$cp_ms") (target <= 1.15)"
rm -f "$WORK"/scans*.pdf

echo "== 10,000 text pages, peak memory"
make_doc 10000 "$WORK/ten.pdf"
read -r _ ours_kib _ < <(measure "$CLI" stamp "$WORK/ten.pdf" -o "$WORK/ten-out.pdf")
read -r _ mutool_kib _ < <(measure mutool run "$STAMPJS" "$WORK/ten.pdf" "$WORK/ten-mutool.pdf")
echo "ours $((ours_kib / 1024)) MiB, mutool $((mutool_kib / 1024)) MiB (target: ours <= mutool)"
