#!/usr/bin/env bash
# The static checks, over every file the repository tracks:
# - formatting: clang-format in the style of .clang-format (scripts/format.sh
#   --check). Skipped until .git-blame-ignore-revs exists: that file names the
#   commit that formatted the whole tree, and before it the tree is not
#   formatted yet;
# - clang-tidy: the checks of .clang-tidy, each source with its flags from
#   BUILD/compile_commands.json, in parallel, and only the sources whose
#   result can have changed since they last passed (scripts/tidy.py);
# - shellcheck: every shell script (.shellcheckrc holds the settings).
#   scripts/lint.sh [BUILD]   (default build, made by scripts/build.sh)
# Every check runs even when an earlier one failed; the status is 1 if any did.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
build=${1:-build}
status=0

if [ -f .git-blame-ignore-revs ]; then
  echo "-- clang-format"
  bash scripts/format.sh --check || { echo "clang-format: run scripts/format.sh" >&2; status=1; }
else
  echo "-- clang-format: skipped (no .git-blame-ignore-revs: the tree is not formatted yet)"
fi

echo "-- clang-tidy"
if [ -f "$build/compile_commands.json" ]; then
  python3 scripts/tidy.py "$build" || status=1
else
  echo "no $build/compile_commands.json: build first (scripts/build.sh $build)" >&2
  status=1
fi

echo "-- shellcheck"
mapfile -d '' -t scripts < <(git ls-files -z -- '*.sh' '*.bash' .ci/run)
shellcheck "${scripts[@]}" || status=1

exit "$status"
