#!/usr/bin/env bash
# Shared by the benchmark scripts (sourced from the checkout root): the
# command line, a source file, a work folder, documents of N pages and a
# best-of-3 measurement.
CLI=${CLI:-build/cli/vellumark-cli}
# A 626-page book: its pages average 3.9 KB, near the text documents the
# targets were set on (5.7 MB per 1,000 pages).
SRC=${1:-../shared/corpus/files/infdesc-book.pdf}
[ -f "$SRC" ] || SRC=$(ls ../shared/corpus/files/*.pdf | head -1)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

pages=$(qpdf --show-npages "$SRC")
make_doc() {  # N pages from SRC repeated
  # Each repetition from a copy of its own: qpdf shares the objects of a file
  # given twice, which would leave 10,000 pages with the content of a few.
  local want=$1 out=$2 args=() have=0 copy=0
  while [ "$have" -lt "$want" ]; do
    copy=$((copy + 1))
    cp "$SRC" "$WORK/copy$copy.pdf"
    args+=("$WORK/copy$copy.pdf" "1-z")
    have=$((have + pages))
  done
  qpdf --empty --pages "${args[@]}" -- "$WORK/tmp.pdf"
  qpdf --empty --pages "$WORK/tmp.pdf" "1-$want" -- "$out"
  rm -f "$WORK"/copy*.pdf "$WORK/tmp.pdf"
  # The new file reaches the disk first: the saves measured flush their own
  # output and would otherwise wait behind it.
  sync
}

make_scans() {
  python3 bench/make_scans.py "$1" "$2"
  sync
}

# Best of 3: "milliseconds peak-KiB cpu-milliseconds" of the fastest run.
measure() {
  local best="" mem="" cpu=""
  for _ in 1 2 3; do
    # Each run starts with the previous runs' output on the disk.
    sync
    # The wall clock to the millisecond (time's own is in 10 ms steps).
    local start end ms
    start=$(date +%s%N)
    /usr/bin/time -f "%e %M %U %S" -o "$WORK/time" "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    read -r _ kib user sys <"$WORK/time"
    ms=$(((end - start) / 1000000))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then
      best=$ms
      mem=$kib
      cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }')
    fi
  done
  echo "$best $mem $cpu"
}
