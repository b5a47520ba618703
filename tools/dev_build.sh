#!/usr/bin/env bash
# Builds the extension into build/dev-NAME without installing it, so several
# people can build side by side: PYTHONPATH=build/dev-NAME .venv/bin/python -m pytest ...
# CORE_CALC_SANITIZE=ON builds with AddressSanitizer and UBSan, CORE_CALC_TSAN=ON
# with ThreadSanitizer; CORE_CALC_CPP_TESTS=ON adds the C++ tests. The variables
# are read when the build directory is first configured.
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?usage: tools/dev_build.sh NAME [Release|Debug]}
type=${2:-Release}
dir=build/dev-$name
py=.venv/bin/python
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
    -DPython_EXECUTABLE="$PWD/$py" \
    -DCORE_CALC_SANITIZE="${CORE_CALC_SANITIZE:-OFF}" \
    -DCORE_CALC_TSAN="${CORE_CALC_TSAN:-OFF}" \
    -DCORE_CALC_CPP_TESTS="${CORE_CALC_CPP_TESTS:-OFF}" \
    -Dpybind11_DIR="$($py -c 'import pybind11; print(pybind11.get_cmake_dir())')" >/dev/null
fi
# Quiet unless something is wrong: the log is shown whole when the build fails, so a
# failed target never leaves a stale binary to be tested.
log=$dir/last-build.log
if ! cmake --build "$dir" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
grep -E "warning" "$log" || true
test -f "$dir"/core_calc*.so && echo "$dir"
