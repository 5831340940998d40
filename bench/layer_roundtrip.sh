#!/usr/bin/env bash
# Stamps every corpus file that opens with --layer (under and over the
# content), takes the watermarks off again with unstamp, and compares each
# page's render (pdftoppm -r 30) and text (pdftotext) with the original.
# Prints one line per file that differs and the share of identical pages.
# Usage: bench/layer_roundtrip.sh [CLI] [OUTDIR]
set -uo pipefail
cd "$(dirname "$0")/.."
CLI=${1:-build/cli/vellumark-cli}
OUT=${2:-$(mktemp -d)}
M=../shared/corpus/manifest.tsv
[ -f "$M" ] || { echo "no corpus beside the checkout"; exit 0; }
mkdir -p "$OUT"
total=0 same=0
while IFS=$'\t' read -r file _ _ _ _ opens _ pages _ upw opw _; do
  [ "$opens" = yes ] || continue
  f=../shared/corpus/files/$file
  pw=()
  [ -n "$opw" ] && pw=(--password "$opw")
  [ -z "$opw" ] && [ -n "$upw" ] && pw=(--password "$upw")
  [ "${pages:-0}" -gt 60 ] && range=(--pages 1-60) || range=()
  for mode in under over; do
    extra=()
    [ "$mode" = over ] && extra=(--over --opacity 50 --text 'Копия <%PageNo%>')
    if ! timeout 120 "$CLI" stamp "$f" -o "$OUT/s.pdf" "${pw[@]}" --layer --seed 3 "${range[@]}" \
      "${extra[@]}" >/dev/null 2>&1; then
      continue  # not stamped today either
    fi
    if ! timeout 120 "$CLI" unstamp "$OUT/s.pdf" -o "$OUT/u.pdf" "${pw[@]}" >"$OUT/err" 2>&1; then
      echo "$file ($mode): unstamp failed: $(head -c 200 "$OUT/err")"
      continue
    fi
    upwarg=()
    [ -n "$upw" ] && upwarg=(-upw "$upw")
    [ -z "$upw" ] && [ -n "$opw" ] && upwarg=(-opw "$opw")
    n=$((pages > 60 ? 60 : pages))
    rm -f "$OUT"/a-* "$OUT"/b-*
    pdftoppm -r 30 -l "$n" "${upwarg[@]}" "$f" "$OUT/a" 2>/dev/null
    pdftoppm -r 30 -l "$n" "${upwarg[@]}" "$OUT/u.pdf" "$OUT/b" 2>/dev/null
    diffpages=""
    for p in $(seq 1 "$n"); do
      total=$((total + 1))
      a=$(ls "$OUT"/a-*"$p".ppm 2>/dev/null | grep -E -- "-0*$p\.ppm$" | head -1)
      b=$(ls "$OUT"/b-*"$p".ppm 2>/dev/null | grep -E -- "-0*$p\.ppm$" | head -1)
      ta=$(pdftotext -f "$p" -l "$p" "${upwarg[@]}" "$f" - 2>/dev/null | sha256sum)
      tb=$(pdftotext -f "$p" -l "$p" "${upwarg[@]}" "$OUT/u.pdf" - 2>/dev/null | sha256sum)
      if [ -n "$a" ] && [ -n "$b" ] && cmp -s "$a" "$b" && [ "$ta" = "$tb" ]; then
        same=$((same + 1))
      elif [ -z "$a" ] && [ -z "$b" ] && [ "$ta" = "$tb" ]; then
        same=$((same + 1))
      else
        diffpages="$diffpages $p"
      fi
    done
    [ -n "$diffpages" ] && echo "$file ($mode): pages differ:$diffpages"
  done
done < <(tail -n +2 "$M")
awk -v s="$same" -v t="$total" 'BEGIN { printf "identical pages: %d of %d (%.2f%%)\n", s, t, t ? 100 * s / t : 100 }'
