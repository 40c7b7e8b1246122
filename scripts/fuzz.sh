#!/usr/bin/env bash
# Fuzzes the MIDI reader with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer.   scripts/fuzz.sh [SECONDS]   (default 60)
#
# Builds the core with clang in build-fuzz, writes seed files with the scale
# writer, replays every cut of every seed, then fuzzes for SECONDS seconds.
# Exits non-zero when anything is found; the input that did it is kept in
# build-fuzz/artifacts.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-fuzz
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
cxxflags="-std=c++20 -g -O1 -fno-omit-frame-pointer $sanitizers"

echo "== building the core with clang in $out"
mkdir -p "$out"
cmake -S "$root" -B "$out" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONEMARK_BUILD_GUI=OFF -DTONEMARK_BUILD_TESTS=OFF \
  -DTONEMARK_BUILD_BENCH=OFF "-DCMAKE_CXX_FLAGS=$sanitizers -fsanitize=fuzzer-no-link -fno-omit-frame-pointer" \
  >"$out/configure.log" 2>&1 || { cat "$out/configure.log"; exit 1; }
cmake --build "$out" -j"$(nproc)" --target tonemark_core >"$out/build.log" 2>&1 || { tail -40 "$out/build.log"; exit 1; }

core=$out/libtonemark_core.a
# What the core links: zlib for compressed MusicXML, SQLite for the practice history.
corelibs=$(pkg-config --libs zlib sqlite3)
fuzz_src=$root/tests/fuzz
clang++ $cxxflags -fsanitize=fuzzer -I"$root" "$fuzz_src/reader_fuzz.cpp" "$core" $corelibs -o "$out/reader_fuzz"
clang++ $cxxflags -I"$root" "$fuzz_src/reader_fuzz.cpp" "$fuzz_src/replay_main.cpp" "$core" $corelibs -o "$out/reader_replay"

echo "== seeds and every cut of every seed"
rm -rf "$out/seeds" "$out/cuts"
mkdir -p "$out/corpus" "$out/cuts" "$out/artifacts"
"$out/reader_replay" --write-seeds "$out/seeds"
cp -n "$out"/seeds/*.mid "$out/corpus/" 2>/dev/null || true
for seed in "$out"/seeds/*.mid; do
  size=$(stat -c %s "$seed")
  for ((cut = 0; cut < size; cut++)); do
    head -c "$cut" "$seed" >"$out/cuts/$(basename "$seed" .mid)-$cut"
  done
done
"$out/reader_replay" "$out/cuts"

echo "== fuzzing for $seconds s"
set +e
"$out/reader_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$out/artifacts/" "$out/corpus" >"$out/fuzz.log" 2>&1
status=$?
set -e
grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb" "$out/fuzz.log" || true
if [ $status -ne 0 ]; then
  echo "== the fuzzer found a problem (exit $status):"
  grep -E "ERROR|runtime error|SUMMARY|Test unit written" "$out/fuzz.log" || tail -40 "$out/fuzz.log"
  exit $status
fi
echo "== no findings; corpus: $(ls "$out/corpus" | wc -l) files"
