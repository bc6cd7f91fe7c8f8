#!/usr/bin/env bash
# Usage: scripts/check-abi.sh LIBRARY
# Every symbol that libRavenlinkLib.so.1 has ever exported must still be
# exported by LIBRARY, so that a program linked against an earlier build of
# the same SONAME still loads and runs. The list it holds the library
# against is RavenlinkLib/abi/libRavenlinkLib.so.1.symbols; new symbols are
# fine, and are added to the list when they are released.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
lib=${1:?usage: check-abi.sh LIBRARY}
known=$here/RavenlinkLib/abi/libRavenlinkLib.so.1.symbols

missing=$(comm -23 <(grep -v '^#' "$known" | sort -u) \
                   <(nm -D --defined-only "$lib" | awk '{print $3}' | sort -u))
if [ -n "$missing" ]; then
    echo "check-abi: $(echo "$missing" | wc -l) symbols of libRavenlinkLib.so.1 are gone:" >&2
    echo "$missing" | c++filt | sed 's/^/  /' >&2
    exit 1
fi
echo "check-abi: all $(grep -vc '^#' "$known") symbols of libRavenlinkLib.so.1 are still exported"
