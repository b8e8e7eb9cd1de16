#!/usr/bin/env bash
# The folders under src/ are layers, listed here from the top down. A file may include headers of
# its own folder and of any folder below it, never above; the public header is open to all.
# Beyond that, query/ and pass/ are siblings: what the host reads after a pass never calls into
# the pass, so query/ includes nothing from pass/ (what both need lives lower down).
# Prints every include that points up or sideways, as FILE:LINE, and closes with
# "layers: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."

layers=(api system query pass body mesh core math)
# from:to pairs of folders that must not include each other although the order would allow it
apart=(query:pass)

rank_of() { # folder name -> position from the top, or nothing for an unknown folder
    local i
    for i in "${!layers[@]}"; do
        [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
    done
}

passed=0
failed=0
for file in $(find src -type f \( -name '*.cpp' -o -name '*.h' \) | sort); do
    folder=$(cut -d/ -f2 <<<"$file")
    own=$(rank_of "$folder")
    if [ -z "$own" ]; then
        echo "$file: folder src/$folder is not a layer of this list"; failed=$((failed + 1)); continue
    fi
    ok=1
    while IFS=: read -r line target; do
        [ "$target" = "vorcollide.h" ] && continue
        to=$(rank_of "${target%%/*}")
        if [ -z "$to" ] || [ "$to" -lt "$own" ]; then
            echo "$file:$line: includes \"$target\" (src/$folder may include only itself and below: ${layers[*]:$own})"
            ok=0
        elif [[ " ${apart[*]} " == *" $folder:${target%%/*} "* ]]; then
            echo "$file:$line: includes \"$target\" (src/$folder and src/${target%%/*} are kept apart)"
            ok=0
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
        sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
    if [ "$ok" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "layers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
