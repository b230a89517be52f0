#!/usr/bin/env bash
# Runs the libFuzzer programs of a clang build made with KNS_FUZZ=ON.
#   fuzz/run.sh run BUILD     each target for FUZZ_SECONDS (default 30); new
#                             inputs and crashes go to fuzz/corpus-run/<target>/
#   fuzz/run.sh replay BUILD  every stored input of fuzz/corpus/<target>/ once
# FUZZ_TARGETS="a b" limits the run to some targets.
set -euo pipefail
mode=${1:?run or replay}
build=${2:?build folder}
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$build" && pwd)/bin
all=(config_document ini_file status_line hex_reply boot_frame natural_compare code_list name_list elm_adapter
     rfc2217_stream network_port_name test_plan)
read -r -a targets <<<"${FUZZ_TARGETS:-${all[*]}}"

failed=()
for t in "${targets[@]}"; do
  program="$bin/fuzz_$t"
  [ -x "$program" ] || { echo "missing $program (build the fuzz_all target)" >&2; exit 2; }
  dict=()
  [ -f "$here/dict/$t.dict" ] && dict=("-dict=$here/dict/$t.dict")
  case $mode in
    replay)
      echo "== replay $t ($(ls "$here/corpus/$t" | wc -l) inputs)"
      if ! "$program" -runs=0 "$here/corpus/$t" >"$build/fuzz-replay-$t.log" 2>&1; then
        failed+=("$t")
        grep -E 'property broken|ERROR|SUMMARY|Test unit' "$build/fuzz-replay-$t.log" | head -5 >&2 || true
      fi
      ;;
    run)
      seconds=${FUZZ_SECONDS:-30}
      # New inputs go to corpus/, failing ones to found/ (apart: libFuzzer
      # reads corpus folders with their subfolders).
      work="$here/corpus-run/$t"
      mkdir -p "$work/corpus" "$work/found"
      echo "== fuzz $t for ${seconds}s"
      # Fork mode keeps going after a crash, so one run collects them all;
      # its job logs land in the working folder.
      (cd "$work" && "$program" -fork=1 -ignore_crashes=1 -max_total_time="$seconds" -timeout=10 \
          -artifact_prefix="$work/found/" "${dict[@]}" "$work/corpus" "$here/corpus/$t" >"$work/run.log" 2>&1) || true
      # Failing inputs of earlier runs count too, until someone deals with them.
      crashes=$(ls "$work/found" | wc -l)
      grep -E '^#[0-9]+: cov' "$work/run.log" | tail -n 1 || true
      if [ "$crashes" -gt 0 ]; then
        failed+=("$t")
        echo "   $crashes failing inputs in $work/found (replay one: $program FILE)" >&2
      fi
      ;;
    *) echo "unknown mode $mode" >&2; exit 2 ;;
  esac
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "all passed"
