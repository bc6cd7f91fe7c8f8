#!/usr/bin/env bash
# Checks that the library keeps to its layers (docs/ARCHITECTURE.md):
#
#   station       sees  protocol, transport, presentation, model
#   protocol      sees  transport, model            (the only one with the JSON library)
#   transport     sees  model                       (only SerialPort.cpp includes serial.h)
#   presentation  sees  model
#   model         sees  the public headers only
#
# Every layer sees the public headers (RavenlinkLib/include) and the composer.
# Two checks:
#   includes  every #include in RavenlinkLib/src/LAYER names a public header or
#             a header of a layer that LAYER sees; <serial.h> and the JSON
#             library's headers only where allowed, and in no public header;
#   calls     with nm over the layers' object files in the build tree: every
#             symbol an object needs from another layer's objects is one that
#             its layer may call.
# CMake's include directories already make a wrong include between layers
# fail to compile; this also catches the third-party headers, which lie in
# the system's include path, and calls that a declaration copied by hand
# would let through.
#
# Usage: scripts/check-layers.sh [--programs] [BUILD_DIR]   (default: build)
#   --programs  also count program sources that include a private library
#               header as breaches (without it they are listed as a note)
# Prints each breach and a summary; exits 0 with none, 1 with some, 2 when
# the build tree holds no layer objects.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
programs_count=0
if [[ ${1:-} == --programs ]]; then
    programs_count=1
    shift
fi
build=${1:-build}
[[ $build = /* ]] || build=$here/$build
lib=$here/RavenlinkLib
layers=(model presentation transport protocol station)

declare -A sees=(
    [model]="model"
    [presentation]="model presentation"
    [transport]="model transport"
    [protocol]="model transport protocol"
    [station]="model presentation transport protocol station"
)

may_see() { [[ " ${sees[$1]} " == *" $2 "* || $2 == composer ]]; }

breaches=0
breach() {
    echo "breach: $*"
    breaches=$((breaches + 1))
}

# ---- includes ----

# The layer whose folder holds header $1, "public" for a public or generated
# header, or nothing.
header_layer() {
    if [[ -f $lib/include/$1 || $1 == RavenlinkVersion.h ]]; then
        echo public
        return
    fi
    local layer
    for layer in "${layers[@]}"; do
        if [[ -f $lib/src/$layer/$1 ]]; then
            echo "$layer"
            return
        fi
    done
}

include_breaches=0
count_before=$breaches
for layer in "${layers[@]}"; do
    while IFS= read -r file; do
        rel=${file#"$here"/}
        while IFS= read -r name; do
            owner=$(header_layer "$name")
            if [[ -z $owner ]]; then
                breach "$rel includes \"$name\", which belongs to no layer"
            elif [[ $owner != public ]] && ! may_see "$layer" "$owner"; then
                breach "$rel ($layer) includes \"$name\" of $owner"
            fi
        done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
        if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<serial\.h>' "$file" &&
           [[ $rel != RavenlinkLib/src/transport/SerialPort.cpp ]]; then
            breach "$rel includes <serial.h> (only transport/SerialPort.cpp may)"
        fi
        if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<nlohmann/' "$file" && [[ $layer != protocol ]]; then
            breach "$rel ($layer) includes the JSON library (only the protocol may)"
        fi
    done < <(find "$lib/src/$layer" -name '*.h' -o -name '*.cpp' | sort)
done
while IFS= read -r file; do
    if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(serial\.h|nlohmann/)' "$file"; then
        breach "public header ${file#"$here"/} includes the serial or the JSON library"
    fi
done < <(find "$lib/include" -name '*.h' | sort)
include_breaches=$((breaches - count_before))

# ---- calls, with nm over the layer objects ----

objects_of() {
    local dir=$build/RavenlinkLib/CMakeFiles/ravenlink_$1.dir
    [[ -d $dir ]] && find "$dir" -name '*.o' | sort
}

declare -A defined_in
declare -A objects
for layer in composer "${layers[@]}"; do
    objects[$layer]=$(objects_of "$layer" || true)
    if [[ -z ${objects[$layer]} ]]; then
        echo "no objects of ravenlink_$layer under $build: build the library first" >&2
        exit 2
    fi
    # Strong definitions only: inline functions and templates are weak and
    # defined in every object that uses them.
    while read -r symbol; do
        defined_in[$symbol]=$layer
    done < <(nm --defined-only ${objects[$layer]} 2>/dev/null | awk '$2 ~ /^[TDBR]$/ {print $3}' | sort -u)
done

count_before=$breaches
for layer in "${layers[@]}"; do
    for object in ${objects[$layer]}; do
        while read -r symbol; do
            owner=${defined_in[$symbol]:-}
            if [[ -n $owner && $owner != "$layer" ]] && ! may_see "$layer" "$owner"; then
                breach "$(basename "$object" .o) ($layer) calls $owner: $(c++filt "$symbol")"
            fi
        done < <(nm --undefined-only "$object" | awk '{print $NF}' | sort -u)
    done
done
call_breaches=$((breaches - count_before))

# ---- programs on private library headers ----

private='#include "(StationLinkImpl|ProtocolKeys|ReportFormat|ToolSupport|SerialPort|LineReader|Session|Reply|Requests|Decoders|Encodings|Failure)\.h"'
program_files=$(cd "$here" && git grep -lE "$private" -- RavenlinkApp RavenlinkCtl RavenlinkBridge RavenlinkStation 2>/dev/null || true)
program_breaches=0
if [[ -n $program_files ]]; then
    program_breaches=$(wc -l <<<"$program_files")
    if ((programs_count)); then
        while IFS= read -r file; do breach "$file includes a private library header"; done <<<"$program_files"
    else
        echo "note: $program_breaches program files include a private library header (not counted; --programs counts them)"
    fi
fi

echo "layers: $include_breaches include breaches, $call_breaches call breaches$( ((programs_count)) && echo ", $program_breaches program breaches")"
echo "check-layers: $breaches breaches"
((breaches == 0))
