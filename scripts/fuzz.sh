#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ (clang, ASan + UBSan) and runs each for a given
# time, two at a time, niced. Corpora grow in fuzz-findings/corpus/TARGET, crashes, leaks and
# timeouts land in fuzz-findings/TARGET/, logs in fuzz-findings/logs/. fuzz-findings/ is not
# committed; the shared real-world movies are copied into the movie corpora at run time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 600 s, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_player fuzz_convert fuzz_swfheader fuzz_bitmap fuzz_bmp fuzz_tga fuzz_script fuzz_sound)
fi
shared=${FILMCAST_SHARED_DIR:-../shared}
findings=fuzz-findings

if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DFUZZ=ON -DFILMCAST_BUILD_GUI=OFF \
    -DFILMCAST_BUILD_TESTS=OFF -DFILMCAST_BUILD_BENCHMARKS=OFF
fi
nice -n 10 cmake --build build-fuzz --parallel 2 --target "${targets[@]}" fuzz_make_seeds \
  fuzz_extract_actions

mkdir -p "$findings/logs" "$findings/seeds"
build-fuzz/fuzz/fuzz_make_seeds "$findings/seeds"

# Seeds: movies for the movie targets, the toolkit's own test images for the image readers.
seed_corpus() {
  local target=$1 corpus=$findings/corpus/$1
  mkdir -p "$corpus" "$findings/$target"
  case $target in
    fuzz_player | fuzz_convert | fuzz_swfheader)
      cp -n "$findings"/seeds/*.swf "$corpus"/
      if [ -d "$shared/corpus/real" ]; then
        find "$shared/corpus/real" -maxdepth 2 -name '*.swf' -size -512k -exec cp -n {} "$corpus"/ \;
      fi
      ;;
    fuzz_bmp) cp -n "$findings"/seeds/*.bmp "$corpus"/ ;;
    fuzz_tga) cp -n "$findings"/seeds/*.tga "$corpus"/ ;;
    fuzz_bitmap) cp -n "$findings"/seeds/*.bits "$corpus"/ ;;
    fuzz_sound)
      # A format byte, a mode and a count for each codec, with a little data.
      for f in 3e 1e 2e 6e 5a b2; do
        for m in 00 01 22; do
          printf "\\x$f\\x$m\\x00\\x10\\x00\\x00\\x81\\x23\\x45\\x67\\x89\\xab\\xcd\\xef" \
            > "$corpus/seed-$f-$m"
        done
      done
      ;;
    fuzz_script)
      # The action blocks of the seed movies and of the shared script conformance movies.
      build-fuzz/fuzz/fuzz_extract_actions "$corpus" "$findings"/seeds/*.swf \
        $(find "$shared/corpus/avm1" -name '*.swf' 2>/dev/null) >/dev/null
      ;;
  esac
}

run_target() {
  local target=$1
  seed_corpus "$target"
  local options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=262144
                 -print_final_stats=1 -artifact_prefix="$findings/$target/")
  case $target in
    fuzz_player | fuzz_convert | fuzz_swfheader) options+=(-dict=fuzz/swf.dict) ;;
  esac
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice -n 10 "build-fuzz/fuzz/$target" "${options[@]}" "$findings/corpus/$target" \
      >"$findings/logs/$target.log" 2>&1 || echo "fuzz: $target stopped with a finding, see $findings/logs/$target.log" >&2
  echo "fuzz: $target: $(grep -E '^stat::number_of_executed_units' "$findings/logs/$target.log" | tail -1)," \
       "corpus $(ls "$findings/corpus/$target" | wc -l) files"
}

# Two at a time.
pending=("${targets[@]}")
while [ ${#pending[@]} -gt 0 ]; do
  run_target "${pending[0]}" &
  first=$!
  second=
  if [ ${#pending[@]} -gt 1 ]; then
    run_target "${pending[1]}" &
    second=$!
  fi
  wait "$first"
  [ -z "$second" ] || wait "$second"
  pending=("${pending[@]:2}")
done
