#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz and runs them.
#
#   scripts/fuzz.sh build                 build the targets only
#   scripts/fuzz.sh replay [seconds]      run every corpus file through its target, then
#                                         fuzz each target for a while (default 25 s); CI
#   scripts/fuzz.sh campaign SECONDS [targets...]
#                                         fuzz each target (default: all) for SECONDS,
#                                         one after the other, niced; logs under
#                                         build-fuzz/campaign/
#   scripts/fuzz.sh campaign-cpu SECONDS [targets...]
#                                         the same, but SECONDS is the CPU time
#                                         (user + system) each target gets, all
#                                         targets at once: on a shared machine wall
#                                         time says little about the work done
#   scripts/fuzz.sh coverage [dirs...]    line and region coverage of src/ reached by the
#                                         corpora (and the campaign's scratch corpora), from a
#                                         source-coverage build in build-fuzz-cov
#   scripts/fuzz.sh seeds                 rewrite the seed files of tests/fuzz/corpus
#
# MX_FUZZ_BUILD names another build directory; MX_FUZZ_NO_BUILD=1 runs the
# targets already built there (a campaign on binaries built earlier).
#
# Inputs that crash are written to build-fuzz/artifacts/. An input that ever
# failed belongs in tests/fuzz/corpus/<target>/ as regress-<what>.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${MX_FUZZ_BUILD:-$root/build-fuzz}"
corpus="$root/tests/fuzz/corpus"
mode="${1:-replay}"

configure_and_build() {
  [[ "${MX_FUZZ_NO_BUILD:-0}" == 1 ]] && return 0
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMXPLUGIN_SANITIZE=fuzzer-no-link,address,undefined -DMXPLUGIN_FUZZ=ON \
    -DMXPLUGIN_TESTS=OFF -DMXPLUGIN_TOOLS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target fuzz_all
}

targets() {
  for t in fuzz_blob fuzz_dispatch fuzz_datafile fuzz_datafile_raw; do
    [[ -x "$build/tests/fuzz/$t" ]] && echo "$t"
  done
  return 0
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
# Per-input limits: a run that takes longer than this, or asks for more memory,
# is a finding.
limits=(-timeout=20 -rss_limit_mb=2560 -malloc_limit_mb=1024)

runner=()      # a prefix for the fuzzer command (the campaign nices it)
fuzz_for() {  # target seconds logfile
  local t="$1" seconds="$2" log="$3"
  local scratch="$build/scratch/$t"
  mkdir -p "$scratch" "$build/artifacts"
  local dict=()
  [[ -f "$root/tests/fuzz/$t.dict" ]] && dict=(-dict="$root/tests/fuzz/$t.dict")
  "${runner[@]}" "$build/tests/fuzz/$t" "${limits[@]}" "${dict[@]}" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
    "$scratch" "$corpus/$t" >"$log" 2>&1 || grep -q 'libFuzzer: run interrupted' "$log" || {
    tail -n 60 "$log"
    echo "FAILED: $t (log $log)"
    return 1
  }
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
}

case "$mode" in
  build)
    configure_and_build
    ;;
  seeds)
    configure_and_build
    "$build/tests/fuzz/mx_fuzz_seeds" "$corpus"
    ;;
  replay)
    seconds="${2:-25}"
    configure_and_build
    mkdir -p "$build/logs"
    passed=0
    failed=0
    for t in $(targets); do
      files=("$corpus/$t"/*)
      echo "== $t: replaying ${#files[@]} corpus files"
      if ! "$build/tests/fuzz/$t" "${limits[@]}" "${files[@]}" >"$build/logs/$t-replay.log" 2>&1; then
        tail -n 60 "$build/logs/$t-replay.log"
        echo "FAILED: $t replay"
        failed=$((failed + 1))
        continue
      fi
      echo "== $t: fuzzing for $seconds s"
      if fuzz_for "$t" "$seconds" "$build/logs/$t-fuzz.log"; then
        passed=$((passed + 1))
      else
        failed=$((failed + 1))
      fi
    done
    echo "fuzz: $passed passed, $failed failed"
    ((failed == 0))
    ;;
  campaign-cpu)
    budget="${2:?campaign-cpu needs a CPU budget in seconds}"
    shift 2
    configure_and_build
    mkdir -p "$build/campaign"
    list=("$@")
    ((${#list[@]})) || mapfile -t list < <(targets)
    runner=(nice -n 19)
    run_one() {
      local t="$1"
      local log="$build/campaign/$t-cpu$budget-$(date +%Y%m%d-%H%M%S).log"
      echo "== $t: campaign of $budget CPU s, log $log"
      # Wall limit far above the budget; the watchdog interrupts the fuzzer
      # (libFuzzer prints its final statistics on SIGINT) once it has used the budget.
      fuzz_for "$t" $((budget * 50)) "$log" &
      local job=$! pid="" used=0
      while kill -0 "$job" 2>/dev/null; do
        [[ -z "$pid" ]] && pid=$(pgrep -n -f "tests/fuzz/$t .*-max_total_time" || true)
        if [[ -n "$pid" ]]; then
          used=$(ps -o cputimes= -p "$pid" 2>/dev/null | tr -d ' ' || true)
          if [[ -n "$used" ]] && ((used >= budget)); then
            kill -INT "$pid" 2>/dev/null || true
            break
          fi
        fi
        sleep 5
      done
      local rc=0
      wait "$job" || rc=1
      echo "== $t: stopped at ${used:-?} CPU s"
      return "$rc"
    }
    jobs_=()
    for t in "${list[@]}"; do
      run_one "$t" &
      jobs_+=($!)
    done
    status=0
    for j in "${jobs_[@]}"; do wait "$j" || status=1; done
    exit "$status"
    ;;
  campaign)
    seconds="${2:?campaign needs a duration in seconds}"
    shift 2
    configure_and_build
    mkdir -p "$build/campaign"
    list=("$@")
    ((${#list[@]})) || mapfile -t list < <(targets)
    for t in "${list[@]}"; do
      log="$build/campaign/$t-$(date +%Y%m%d-%H%M%S).log"
      echo "== $t: campaign of $seconds s, log $log"
      runner=(nice -n 19)
      fuzz_for "$t" "$seconds" "$log"
    done
    ;;
  coverage)
    shift
    cov="$root/build-fuzz-cov"
    CC=clang CXX=clang++ cmake -S . -B "$cov" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMXPLUGIN_SANITIZE=fuzzer-no-link -DMXPLUGIN_FUZZ=ON -DMXPLUGIN_TESTS=OFF \
      -DMXPLUGIN_TOOLS=OFF -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
      -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
    cmake --build "$cov" -j"$(nproc)" --target fuzz_all
    rm -rf "$cov/profiles" && mkdir -p "$cov/profiles"
    objects=()
    for t in fuzz_blob fuzz_dispatch fuzz_datafile fuzz_datafile_raw; do
      dirs=("$corpus/$t")
      [[ -d "$build/scratch/$t" ]] && dirs+=("$build/scratch/$t")
      for d in "$@"; do [[ -d "$d/$t" ]] && dirs+=("$d/$t"); done
      LLVM_PROFILE_FILE="$cov/profiles/$t-%p.profraw" "$cov/tests/fuzz/$t" -runs=0 \
        -timeout=60 "${dirs[@]}" >"$cov/profiles/$t.log" 2>&1
      objects+=(-object "$cov/tests/fuzz/$t")
    done
    llvm-profdata merge -sparse "$cov"/profiles/*.profraw -o "$cov/profiles/all.profdata"
    llvm-cov report "${objects[@]:1}" -instr-profile="$cov/profiles/all.profdata" \
      "$root/src" | tee "$cov/coverage.txt"
    ;;
  *)
    echo "usage: $0 build|replay [seconds]|campaign[-cpu] SECONDS [targets...]|coverage|seeds" >&2
    exit 2
    ;;
esac
