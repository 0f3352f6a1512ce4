#!/usr/bin/env bash
# The libFuzzer harnesses (fuzz/): built with clang into build-fuzz/, apart from the
# normal build. On a fresh Debian 12 machine (as root) it first installs what is
# missing.
#   scripts/fuzz.sh smoke            every harness for a few seconds, from its seed
#                                    corpus (what scripts/test.sh runs in CI)
#   scripts/fuzz.sh run NAME [ARG]...
#                                    one harness until stopped, or as libFuzzer's
#                                    ARGs say (-runs=1000000, -max_total_time=3600);
#                                    what it finds stays in build-fuzz/fuzz/work/NAME,
#                                    crashes go to build-fuzz/fuzz/crashes/NAME/
#   scripts/fuzz.sh list             the harnesses' names
# Exits non-zero when the build fails or a harness finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

usage() { sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; }
command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
  smoke|run|list) ;;
  -h|--help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

names() { sed -n 's/^qelt_add_fuzzer(\([a-z_]*\) .*/\1/p' fuzz/CMakeLists.txt; }
if [ "$command" = list ]; then
  names
  exit 0
fi

. scripts/lib/packages.sh
install_missing_packages "== " "fuzz.sh: " clang libclang-rt-14-dev cmake ninja-build \
  libgtest-dev libgmock-dev

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
log=build-fuzz/fuzz-build.log
mkdir -p build-fuzz
if ! { cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_CXX_COMPILER=clang++ -DQELT_FUZZ=ON -DQELT_WITH_QT=OFF \
         -DQELT_WERROR="$werror" "${launcher[@]}" &&
       cmake --build build-fuzz --target qelt_fuzzers -j "$(nproc)"; } > "$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "fuzz.sh: the build failed (whole log: $log)" >&2
  exit 1
fi

if [ "$command" = smoke ]; then
  cd build-fuzz
  exec ctest -R '^fuzz\.' --output-on-failure -j "$(nproc)" --timeout 120
fi

name=${1:?fuzz.sh run: give a harness name (see: scripts/fuzz.sh list)}
shift
if ! names | grep -qx "$name"; then
  echo "fuzz.sh: no harness '$name' (see: scripts/fuzz.sh list)" >&2
  exit 2
fi
work="$top/build-fuzz/fuzz/work/$name"
crashes="$top/build-fuzz/fuzz/crashes/$name"
mkdir -p "$work" "$crashes"
exec "$top/build-fuzz/fuzz/fuzz_$name" -timeout=20 -print_final_stats=1 \
  -artifact_prefix="$crashes/" "$@" "$work" "$top/fuzz/corpus/$name"
