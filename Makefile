# Thin wrapper around the CMake presets. `make run` and `make test` install what is missing first.
JOBS ?= $(shell nproc)
RELEASE := build/release
CORE := build/core
ASAN := build/asan-ubsan
FUZZ := build/fuzz
# `make fuzz` runs each fuzzing target this long; `make test` runs each for FUZZ_SMOKE_SECONDS.
FUZZ_SECONDS ?= 600
FUZZ_SMOKE_SECONDS ?= 5
SAMPLE ?= samples/astronaut.png
HEADLESS_SECONDS ?= 10
# `make install` puts the programs under PREFIX (and below DESTDIR, when given);
# `make package` writes the Debian package into PACKAGE_DIR.
PREFIX ?= /usr/local
PACKAGE_DIR := build/package

.PHONY: all deps build run install package test test-release test-core test-asan test-fuzz fuzz \
	fuzz-build bench format format-check clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
		$(RELEASE)/src/app/fftquarvel $(SAMPLE); \
	else \
		echo "No desktop session: FFT Quarvel runs on a virtual screen (Xvfb) for $(HEADLESS_SECONDS) s."; \
		echo "README.md says how to look at it there."; \
		xvfb-run -a -s '-screen 0 1600x1000x24' \
			timeout $(HEADLESS_SECONDS) $(RELEASE)/src/app/fftquarvel $(SAMPLE); \
		status=$$?; [ $$status -eq 0 ] || [ $$status -eq 124 ]; \
	fi

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --prefix "$(PREFIX)"

package: build
	cpack --config $(RELEASE)/CPackConfig.cmake -B $(PACKAGE_DIR)

test: deps test-release test-core test-asan test-fuzz format-check

test-release: build
	ctest --preset release -j $(JOBS)

# The core alone, configured without Qt: proves it needs nothing but the standard library and oneTBB.
test-core: deps
	cmake --preset core
	cmake --build --preset core -j $(JOBS)
	ctest --preset core -j $(JOBS)

test-asan: deps
	cmake --preset asan-ubsan
	cmake --build --preset asan-ubsan -j $(JOBS)
	ctest --preset asan-ubsan -j $(JOBS)

fuzz-build: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	fuzz/run-fuzzers $(FUZZ) $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	fuzz/run-fuzzers $(FUZZ) $(FUZZ_SMOKE_SECONDS)

bench: build
	$(RELEASE)/bench/quarvel_bench
	QT_QPA_PLATFORM=offscreen $(RELEASE)/bench/quarvel_gui_bench
	$(RELEASE)/bench/quarvel_notch_bench

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "clang-format: clean"

clean:
	rm -rf build
