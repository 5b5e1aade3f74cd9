# PageWeaver: `make run` and `make test` set up everything on a fresh machine.

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
PACKAGE_BUILD ?= build-package
PREFIX ?= /usr/local
WERROR ?= OFF
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
# Rebuilds of other checkouts and clean clones reuse compiled objects where ccache is there.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && \
  echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
CLI := $(BUILD)/cli/pageweaver-cli

.PHONY: all deps configure build run test install package package-check asan bench \
  bench-compare bench-copy bench-quality bench-pdf fuzz clean format

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DPX_WERROR=$(WERROR); \
	else \
	  cmake -S . -B $(BUILD) -DPX_WERROR=$(WERROR) >/dev/null; \
	fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The main job: a multi-page TIFF from the bundled samples (mixed formats, per-page
# settings in samples/job.json), then what the library sees in it.
run: build
	$(CLI) build -o $(BUILD)/samples.tif --job samples/job.json
	$(CLI) info $(BUILD)/samples.tif

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The programs, desktop entry, metadata, icons, manual pages and bash completion, under
# PREFIX (and DESTDIR, when set).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, in a build of its own with Debian's hardening flags and no tests:
# $(PACKAGE_BUILD)/pageweaver_VERSION_ARCH.deb. Configured for /usr, it takes Debian's
# multiarch library folder, so the PDF module lies in /usr/lib/<triplet>/pageweaver and
# the package runs no ldconfig for it (a private module needs none).
package: deps
	@scripts/install-deps.sh package
	@if [ ! -f $(PACKAGE_BUILD)/CMakeCache.txt ]; then \
	  export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	  CFLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  cmake -S . -B $(PACKAGE_BUILD) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_INSTALL_PREFIX=/usr -DPX_BUILD_TESTS=OFF -DPX_WERROR=$(WERROR); \
	fi
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB

# The package through lintian, then installed into and removed from a clean Debian 12.
package-check: package
	scripts/package-check.sh $$(ls -t $(PACKAGE_BUILD)/pageweaver_*.deb | head -n 1)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@if [ ! -f $(ASAN_BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(ASAN_BUILD) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DPX_SANITIZE=ON -DPX_WERROR=$(WERROR); \
	fi
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Benchmarks: built and run here, never by `make test`.
bench: deps
	@if [ ! -f $(BENCH_BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	    -DPX_BUILD_BENCH=ON -DPX_BUILD_TESTS=OFF; \
	fi
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done; true

# Fuzzing: every reader under libFuzzer in a clang build of its own (build-fuzz), for
# FUZZ_SECONDS each, FUZZ_JOBS at once; FUZZ_TARGETS picks some. Never part of `make test`.
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= $(JOBS)
fuzz:
	@scripts/install-deps.sh fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(FUZZ_JOBS) FUZZ_BUILD=$(CURDIR)/build-fuzz \
	  fuzz/run.sh $(FUZZ_TARGETS)

# PageWeaver against ImageMagick and GraphicsMagick on 60 generated A4 pages.
bench-compare: deps
	bench/compare.sh

bench-copy: deps
	bench/copy.sh

# Shrinking the hairline and print pages: PSNR against Lanczos-3 reductions made by Pillow and
# ImageMagick.
bench-quality: deps
	bench/quality.sh

# PDF output against convert and img2pdf (figures in bench/README.md).
bench-pdf: deps
	bench/pdf.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(PACKAGE_BUILD) build-fuzz
