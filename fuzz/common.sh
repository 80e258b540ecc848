# Shared by fuzz/run and bench/fuzz (sourced from the repository root): the targets, the build,
# and one bounded libFuzzer run of a target from a scratch copy of its seed corpus.

# [target ...]: sets `targets` to the names given, or to every target of fuzz/.
fuzz_targets() {
  targets=("$@")
  if [ ${#targets[@]} -eq 0 ]; then
    local source name
    for source in fuzz/*_fuzz.cpp; do
      name=$(basename "$source" .cpp)
      targets+=("${name%_fuzz}")
    done
  fi
}

fuzz_build() {
  cmake --preset linux-fuzz >/dev/null
  cmake --build --preset linux-fuzz "$@"
}

# TARGET SECONDS SCRATCH ARTIFACT_PREFIX: runs the target from a copy of its seeds in SCRATCH,
# its output in SCRATCH/TARGET.log; sets `runs`, `rate` and `cov` from libFuzzer's figures and
# returns libFuzzer's status. One job, no forked workers: the machine is shared. A slow input is
# a finding too.
fuzz_one() {
  local target=$1 seconds=$2 scratch=$3 artifacts=$4 status=0
  local corpus=$scratch/corpus/$target log=$scratch/$target.log
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$target" ] && cp -r "fuzz/corpus/$target/." "$corpus/"
  "out/linux-fuzz/bin/${target}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  return "$status"
}
