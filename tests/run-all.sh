#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test on both hosts:
# Linux (plain and with ASan/UBSan), Windows x86_64 under Wine, the i686
# Windows build (images checked, not run), and the fuzz targets for a
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash cmake/install-deps.sh all
export WINEDEBUG=-all
fuzz_seconds=${VX_FUZZ_SECONDS:-20}

step() { printf '\n=== %s ===\n' "$*"; }

run_preset() {
  local preset=$1
  step "$preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  step "$preset: test"
  ctest --preset "$preset"
}

# Windows tests start many short Wine processes: make the prefix and keep
# one wineserver alive for the whole run, and end it afterwards.
cleanup() { [ -x /usr/lib/wine/wineserver ] && WINEPREFIX="$PWD/build/wine-prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true; }
trap cleanup EXIT
step "wine prefix"
cmake/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || { echo "wine does not start" >&2; exit 1; }

run_preset linux
run_preset linux-asan
run_preset windows
run_preset windows-x86

step "fuzz: build, replay the corpus, run ${fuzz_seconds}s each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in build/fuzz/bin/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target" _fuzz)
  corpus=fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "$name: $(ls "$work" | wc -l) seeds"
  "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
step "all tests passed"
