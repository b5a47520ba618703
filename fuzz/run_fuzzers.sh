#!/usr/bin/env bash
# Runs every fuzz target for a bounded time and prints what each one did.
#   fuzz/run_fuzzers.sh BUILD_DIR SEEDS_DIR SECONDS
# Each target keeps its corpus in BUILD_DIR/corpus/TARGET (seeded from SEEDS_DIR)
# and writes a crashing input to BUILD_DIR/artifacts/; any crash fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: fuzz/run_fuzzers.sh BUILD_DIR SEEDS_DIR SECONDS}
seeds=${2:?}
seconds=${3:?}
declare -A seed_dir=([wind_report_fuzzer]=wind [procedure_reader_fuzzer]=navdb
                     [approach_reader_fuzzer]=navdb [runway_reader_fuzzer]=navdb
                     [route_facts_fuzzer]=navdb)
declare -A dict=([wind_report_fuzzer]=fuzz/wind_report.dict [procedure_reader_fuzzer]=fuzz/navdb.dict
                 [approach_reader_fuzzer]=fuzz/navdb.dict [runway_reader_fuzzer]=fuzz/navdb.dict
                 [route_facts_fuzzer]=fuzz/navdb.dict)
mkdir -p "$build/artifacts" "$build/logs"
failed=0
summary=()
for target in wind_report_fuzzer procedure_reader_fuzzer approach_reader_fuzzer runway_reader_fuzzer \
  route_facts_fuzzer; do
  corpus=$build/corpus/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  # Leaks are checked too: libFuzzer reports one as a crash.
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -dict="${dict[$target]}" \
    -artifact_prefix="$build/artifacts/$target-" "$corpus" "$seeds/${seed_dir[$target]}" \
    >"$log" 2>&1
  status=$?
  last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -1)
  counters=$(sed -nE 's/^INFO: Loaded 1 modules +\(([0-9]+) inline 8-bit counters\).*/\1/p' "$log")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 \2 \3/p' <<<"$last")
  read -r edges features units <<<"$cov"
  if [ "$status" -ne 0 ]; then
    failed=1
    grep -E 'ERROR|SUMMARY|Test unit written' "$log"
    summary+=("$target: FAILED (exit $status), see $log")
  else
    summary+=("$target: ${runs:-?} executions (${rate:-?}/s), coverage ${edges:-?} of \
${counters:-?} edges, ${features:-?} features, corpus ${units:-?}")
  fi
done
printf '%s\n' "${summary[@]}"
exit $failed
