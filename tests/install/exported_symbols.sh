#!/usr/bin/env bash
# Checks that a shared lendrec library exports the public API and nothing
# else: the functions declared in the public headers, parsed from the
# headers themselves, against the library's defined dynamic symbols.
#
#   exported_symbols.sh LIBRARY INCLUDE-DIR
#
# Prints both differences and exits 1 when either is not empty.
set -euo pipefail
library=$1 include=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Function names of one header: comments dropped by the preprocessor,
# directives and `extern "C" {` lines out, the rest cut into declarations at
# each ';'. A declaration that is not a typedef and has a parenthesis
# declares the function whose name stands before the first one.
declared() {
  cc -w -fpreprocessed -dD -E -P -x c "$1" |
    sed -e '/^#/d' -e '/^extern "C"/d' |
    tr '\n' ' ' | tr ';' '\n' |
    sed -E 's/^[[:space:]{}]+//' |
    sed '/^typedef/d' |
    sed -nE 's/^[^(]*[^[:alnum:]_]([[:alpha:]_][[:alnum:]_]*)[[:space:]]*\(.*/\1/p'
}

for header in "$include"/*.h; do declared "$header"; done | sort -u >"$work/declared"
nm -D --defined-only --format=posix "$library" | cut -d' ' -f1 | sort -u >"$work/exported"

extra=$(comm -13 "$work/declared" "$work/exported")
missing=$(comm -23 "$work/declared" "$work/exported")
echo "exported: $(wc -l <"$work/exported") symbols; declared: $(wc -l <"$work/declared") functions"
[[ -s $work/declared ]] || { echo "no function found in $include/*.h"; exit 1; }
if [[ -n $extra ]]; then echo "exported but not declared in the headers:"; echo "$extra"; fi
if [[ -n $missing ]]; then echo "declared in the headers but not exported:"; echo "$missing"; fi
[[ -z $extra && -z $missing ]]
