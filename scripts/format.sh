#!/usr/bin/env bash
# Formats the C and C++ sources the repository tracks with clang-format, in
# the style of .clang-format (none of them is generated or someone else's).
#   scripts/format.sh           rewrites the files that differ
#   scripts/format.sh --check   changes nothing; names every file that would
#                               change and ends with status 1 if there is one
#   scripts/format.sh --stat    changes nothing; counts the files and lines
#                               that would change
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
mapfile -d '' -t files < <(git ls-files -z -- '*.c' '*.cpp' '*.h')
[ "${#files[@]}" -gt 0 ] || exit 0

case $mode in
  "")
    printf '%s\0' "${files[@]}" | xargs -0 -n 50 -P "$(nproc)" clang-format -i ;;
  --check)
    # One warning per line that would change; --Werror makes them the status.
    printf '%s\0' "${files[@]}" | xargs -0 -n 50 -P "$(nproc)" clang-format --dry-run --Werror ;;
  --stat)
    changed=0 removed=0 added=0
    for file in "${files[@]}"; do
      # diff's status says whether the file differs: the lines tell that too.
      counts=$({ clang-format "$file" | diff -U0 "$file" -; } |
        awk '/^(---|\+\+\+) / { next } /^-/ { r++ } /^\+/ { a++ } END { printf "%d %d", r, a }' || true)
      read -r r a <<<"$counts"
      [ $((r + a)) -gt 0 ] || continue
      changed=$((changed + 1)) removed=$((removed + r)) added=$((added + a))
    done
    echo "$changed of ${#files[@]} files would change: $removed lines replaced by $added" ;;
  *)
    echo "usage: scripts/format.sh [--check|--stat]" >&2
    exit 64 ;;
esac
