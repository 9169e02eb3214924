#!/usr/bin/env bash
# Renders every example of the installed Faust that the faust command compiles through
# Tessary's engine and through the faust command's C++ built with g++, same input (noise),
# default parameters, 48 kHz, 512-frame blocks, and reports which match to 1e-4 relative RMS.
#
#   bench/faust/corpus/compare_with_cpp.sh BUILD_DIR [EXAMPLES_DIR] [SECONDS]
#
# BUILD_DIR is a build with bench/faust/faust-engine-render; EXAMPLES_DIR defaults to
# /usr/share/faust/examples. Takes some minutes; one line per example, then the counts.
# CXX and CXXFLAGS choose the reference's compiler (g++ -O1, exact arithmetic): with
# CXX=clang++-14 CXXFLAGS="-O2 -ffast-math -march=x86-64-v3" the reference is built the way
# libfaust's LLVM back-end builds the engine's code, which tells its differences from ours.
set -euo pipefail
[ $# -ge 1 ] || { sed -n '2,9p' "$0"; exit 2; }
render=$(cd "$1" && pwd)/bench/faust/faust-engine-render
examples=${2:-/usr/share/faust/examples}
seconds=${3:-2}
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$render" ] || { echo "missing $render" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=$((seconds * 48000 / 512 * 512))

# One example: "name verdict outputs relative-rms first-differing-frame".
compare_one() {
  local dsp=$1 name dir
  name=${dsp#"$examples"/}
  dir="$work/$(echo "$name" | tr '/' '_')"
  mkdir -p "$dir"
  if ! faust -lang cpp -a "$here/architecture.cpp" "$dsp" -o "$dir/render.cpp" 2>/dev/null; then
    echo "$name faust-fails"
    return
  fi
  # shellcheck disable=SC2086
  if ! "${CXX:-g++}" ${CXXFLAGS:--O1} -std=c++17 -w -I"$here" "$dir/render.cpp" -o "$dir/render" \
         2>"$dir/cxx.log" ||
     ! "$dir/render" "$frames" "$dir/reference.raw" 2>/dev/null; then
    echo "$name cpp-fails"
    return
  fi
  # Imports beside the example need its folder, which a snippet does not have: such code
  # goes to the engine expanded, as a saved bundle carries it.
  local code=$dsp
  if grep -qE '(import|component|library)\("[^"]*\.dsp"\)' "$dsp"; then
    faust -e "$dsp" -o "$dir/expanded.dsp" 2>/dev/null && code=$dir/expanded.dsp
  fi
  local result
  if result=$("$render" "$code" "$frames" "$dir/reference.raw" 2>"$dir/engine.log"); then
    read -r outputs rms first <<< "$result"
    if awk -v r="$rms" 'BEGIN { exit !(r <= 1e-4) }'; then
      echo "$name match $outputs $rms $first"
    else
      echo "$name differs $outputs $rms $first"
    fi
  else
    echo "$name engine-fails $(head -c 200 "$dir/engine.log" | tr '\n' ' ')"
  fi
  rm -f "$dir/render" "$dir/reference.raw"
}
export -f compare_one
export examples here render work frames

find "$examples" -name '*.dsp' | sort |
  xargs -P "${JOBS:-2}" -I{} bash -c 'compare_one "$1"' _ {} | sort > "$work/results"
cat "$work/results"
awk '{ count[$2]++ } END {
  compiled = count["match"] + count["differs"] + count["engine-fails"]
  printf "\n%d examples the faust command compiles: %d match, %d differ, %d the engine refused", \
         compiled, count["match"], count["differs"], count["engine-fails"]
  printf " (%d the faust command refused, %d whose C++ did not build or run)\n", \
         count["faust-fails"], count["cpp-fails"]
}' "$work/results"
