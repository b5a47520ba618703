#!/usr/bin/env bash
# Runs a command against a sanitizer build and fails when the sanitizer reported
# anything. The extension is loaded into the stock (uninstrumented) interpreter, so
# the sanitizer runtime is preloaded. Reports go to files rather than stderr: pytest
# captures what passing tests write, and subprocesses (an example host, a second
# interpreter) write their own reports there as well.
#   tools/sanitizer_run.sh asan|tsan COMMAND [ARGS...]
# The runtimes are GCC's, matching the default compiler of the sanitizer builds.
set -uo pipefail
cd "$(dirname "$0")/.."
kind=${1:?usage: tools/sanitizer_run.sh asan|tsan COMMAND [ARGS...]}
shift
reports=$PWD/build/sanitizer-reports/$kind
rm -rf "$reports"
mkdir -p "$reports"
case $kind in
  asan)
    export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
    # The interpreter leaves objects alive at exit by design, so leaks are not checked.
    export ASAN_OPTIONS="detect_leaks=0:log_path=$reports/asan"
    # UBSan only prints by default; a finding must stop the run.
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
    ;;
  tsan)
    export LD_PRELOAD="$(g++ -print-file-name=libtsan.so)"
    export TSAN_OPTIONS="log_path=$reports/tsan:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp"
    ;;
  *)
    echo "unknown sanitizer: $kind" >&2
    exit 2
    ;;
esac
"$@"
status=$?
if compgen -G "$reports/*" >/dev/null; then
  cat "$reports"/*
  echo "$kind: sanitizer reports above (kept in ${reports#$PWD/})" >&2
  exit 1
fi
exit $status
