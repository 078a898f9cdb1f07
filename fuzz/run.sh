#!/usr/bin/env bash
# Runs the task-file fuzz target for a given number of seconds, starting from the committed seed corpus.
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD-DIR SECONDS}
seconds=${2:?usage: fuzz/run.sh BUILD-DIR SECONDS}
here=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz-work"
mkdir -p "$work/corpus" "$work/artifacts"
# New inputs go to the work corpus, so the committed seeds stay a small hand-made set.
# Inputs up to 1 MiB: strings cross refills of the loader's 64 KiB buffer, read in pieces of every size.
# A length prefix must never make the loader allocate what the file cannot hold: a 64 MB malloc is a finding.
"$build/fuzz/fuzz_task_file" "$work/corpus" "$here/corpus" "$here/regressions" \
  -max_total_time="$seconds" -max_len=1048576 -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1
echo "Fuzzed for $seconds s without a finding; the corpus grew to $(ls "$work/corpus" | wc -l) inputs in $work/corpus."
