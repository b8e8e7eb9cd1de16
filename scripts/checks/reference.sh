#!/usr/bin/env bash
# docs/reference.md has one entry ("### Name") per export of include/vorcollide.h, in the header's
# order under the header's groups, and no entry that names no export.
# Closes with "reference: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."

header=include/vorcollide.h
doc=docs/reference.md
passed=0
failed=0
result() { # ok(0/1), name, detail
    if [ "$1" -eq 0 ]; then
        passed=$((passed + 1)); echo "PASS $2"
    else
        failed=$((failed + 1)); echo "FAIL $2"; [ -n "${3:-}" ] && echo "    $3"
    fi
}

# Exports in header order, as every other list of them is made.
exports=$(bash scripts/export-names.sh)
# Groups in header order: the title right under an opening rule "/* ----", up to a colon.
groups=$(awk 'title { sub(/^ \* /, ""); sub(/:.*$/, ""); print; title = 0 }
              /^\/\* ----------+$/ { title = 1 }' "$header")
# The named codes of the header (#define VOR_... NUMBER).
codes=$(sed -n 's/^#define \(VOR_[A-Z0-9_]*\) [0-9][0-9]*\b.*/\1/p' "$header")
entries=$(sed -n 's/^### \([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]*$/\1/p' "$doc")
doc_groups=$(sed -n 's/^## //p' "$doc")

[ -n "$exports" ] && [ "$(wc -l <<<"$exports")" -ge 50 ]
result $? "the header's exports are read ($(wc -l <<<"$exports"))"

missing=$(comm -23 <(sort <<<"$exports") <(sort <<<"$entries") | tr '\n' ' ')
[ -z "$missing" ]
result $? "every export of the header has an entry" "no entry: $missing"

unknown=$(comm -13 <(sort <<<"$exports") <(sort -u <<<"$entries") | tr '\n' ' ')
[ -z "$unknown" ]
result $? "every entry names an export" "no such export: $unknown"

dups=$(sort <<<"$entries" | uniq -d | tr '\n' ' ')
[ -z "$dups" ]
result $? "no export has two entries" "twice: $dups"

[ "$exports" = "$entries" ]
result $? "the entries follow the header's order" \
    "$(diff <(echo "$exports") <(echo "$entries") | grep -E '^[<>]' | head -n 4 | tr '\n' ' ')"

# Each header group is a "## " section of the reference, in order, holding its exports.
in_order=$(grep -xF -f <(echo "$groups") <<<"$doc_groups")
[ -n "$groups" ] && [ "$in_order" = "$groups" ]
result $? "the reference has the header's groups in its order" \
    "header: $(tr '\n' ',' <<<"$groups") reference: $(tr '\n' ',' <<<"$in_order")"

placed() {
    local bad="" name group want
    while read -r name; do
        group=$(awk -v n="### $name" '/^## / { g = substr($0, 4) } $0 == n { print g; exit }' "$doc")
        want=$(awk -v n="$name" '
            title { g = substr($0, 4); sub(/:.*$/, "", g); title = 0 }
            /^\/\* ----------+$/ { title = 1 }
            /VOR_API/ && index($0, " " n "(") { print g; exit }' "$header")
        [ "$group" = "$want" ] || bad="$bad $name($group, header: $want)"
    done <<<"$exports"
    [ -z "$bad" ] || { echo "$bad"; return 1; }
}
out=$(placed)
result $? "each entry sits under its header group" "$out"

unnamed=$(while read -r code; do grep -q "\`$code\`" "$doc" || echo "$code"; done <<<"$codes" | tr '\n' ' ')
[ -n "$codes" ] && [ -z "${unnamed// /}" ]
result $? "every named code of the header is in the reference ($(wc -l <<<"$codes"))" "missing: $unnamed"

echo "reference: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
