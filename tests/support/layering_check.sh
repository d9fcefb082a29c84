#!/usr/bin/env bash
# Each folder is one static library that may use only the libraries below it.
# Fails when a library needs a symbol that only a library above it (or beside it)
# defines, or when a folder compiles another folder's sources.
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
order=(framework imaging convert tray viewer options app)
status=0

for folder in "${order[@]}"; do
    [ -f "$source_dir/$folder/CMakeLists.txt" ] || continue
    if grep -n 'CMAKE_SOURCE_DIR\|\.\./' "$source_dir/$folder/CMakeLists.txt"; then
        echo "$folder/CMakeLists.txt compiles files of another folder"
        status=1
    fi
done

defined() { nm --defined-only -C "$1" 2>/dev/null | awk 'NF >= 3 && $2 ~ /[TDBRVWu]/ {$1 = ""; $2 = ""; print substr($0, 3)}' | sort -u; }
undefined() { nm -u -C "$1" 2>/dev/null | awk '{$1 = ""; print substr($0, 2)}' | sort -u; }

libs=()
for folder in "${order[@]}"; do
    lib="$build/$folder/libkestrel_$folder.a"
    [ -f "$lib" ] && libs+=("$folder")
done
for ((i = 0; i < ${#libs[@]}; ++i)); do
    folder=${libs[$i]}
    lib="$build/$folder/libkestrel_$folder.a"
    extra=$(ls "$build/$folder"/libkestrel_*.a | grep -v "/libkestrel_$folder.a$" || true)
    if [ -n "$extra" ]; then
        echo "$folder builds more than one library: $extra"
        status=1
    fi
    # What this library and those below it define.
    allowed=$(for ((j = 0; j <= i; ++j)); do defined "$build/${libs[$j]}/libkestrel_${libs[$j]}.a"; done | sort -u)
    above=$(for ((j = i + 1; j < ${#libs[@]}; ++j)); do defined "$build/${libs[$j]}/libkestrel_${libs[$j]}.a"; done | sort -u)
    wrong=$(comm -12 <(undefined "$lib" | comm -23 - <(echo "$allowed")) <(echo "$above"))
    if [ -n "$wrong" ]; then
        echo "kestrel_$folder needs symbols defined only above or beside it:"
        echo "$wrong" | sed 's/^/    /'
        status=1
    fi
done
[ $status -eq 0 ] && echo "layering: ${libs[*]} each link only downward"
exit $status
