# Shared by the comparison benchmarks: sourced from the project root with PAGES set. Sets
# BUILD, WORK, THREADS and IN (the generated pages), and CLI once bench_build has run.
BUILD=${BENCH_BUILD:-build-bench}
WORK=$BUILD/compare
THREADS=${THREADS:-$(nproc)}
IN=$WORK/in-$PAGES

# bench_build TARGET...: the peers' packages, and the benchmark build of the targets.
bench_build() {
  scripts/install-deps.sh compare
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_BENCH=ON \
      -DPX_BUILD_TESTS=OFF
  fi
  mkdir -p "$WORK/out"
  cmake --build "$BUILD" -j "$(nproc)" --target "$@" \
    >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log"; exit 1; }
  CLI=$BUILD/cli/pageweaver-cli
}

# bench_pages: PAGES A4 pages at 300 dpi in IN, made once.
bench_pages() {
  if [ ! -f "$IN/.done" ]; then
    echo "generating $PAGES A4 pages at 300 dpi in $IN ..."
    mkdir -p "$IN"
    "$BUILD/bench/make_pages" "$IN" "$PAGES"
    touch "$IN/.done"
  fi
}
