#!/usr/bin/env bash
# CI Valgrind stage: a plain RelWithDebInfo build in build/valgrind; both
# exercise programs (in a scratch directory, where the book program leaves
# its record file) and the character-rule test suite run under Memcheck.
# Any memory error or any definitely, indirectly or possibly lost block
# fails the stage.
#   VALGRIND_GTEST_FILTER  the suite's --gtest_filter (default below)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

source .ci/packages.sh
ci_require valgrind cmake ninja-build g++ libgtest-dev libcli11-dev nlohmann-json3-dev libfmt-dev libutf8proc-dev libtomlplusplus-dev

echo "== building (build/valgrind)"
cmake -S . -B build/valgrind -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENDREC_WERROR=ON >/dev/null
cmake --build build/valgrind -j2 --target book_list_itest user_utest lendrec_tests_character

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

memcheck=(valgrind --quiet --error-exitcode=1 --leak-check=full
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible
  --track-origins=yes)

status=0
run() { # name command...
  local name=$1
  shift
  echo "== $name under valgrind"
  if (cd "$scratch" && "${memcheck[@]}" "$@"); then
    echo "-- $name: no memory error, no leak"
  else
    echo "-- $name: FAILED"
    status=1
  fi
}

run book_list_itest "$root/build/valgrind/programs/book_list_itest"
echo "-- test_books.csv left by book_list_itest:"
cat "$scratch/test_books.csv"
echo
run user_utest "$root/build/valgrind/programs/user_utest"

# The suite itself, but not the tests that start the programs (they ran
# above) nor the saves killed part-way, whose children are killed on
# purpose and whose timing valgrind stretches.
filter=${VALGRIND_GTEST_FILTER:--*Program.*:*KilledSave*}
run "lendrec_tests_character --gtest_filter=$filter" \
  "$root/build/valgrind/tests/lendrec_tests_character" --gtest_filter="$filter" --gtest_brief=1

if ((status)); then
  echo "== valgrind stage FAILED"
  exit 1
fi
echo "== valgrind stage passed"
