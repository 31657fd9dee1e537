# Thin wrapper around the CMake presets. `make run` and `make test` install what is missing first.
JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan-ubsan
SAMPLE ?= samples/astronaut.png
HEADLESS_SECONDS ?= 10

.PHONY: all deps build run test test-release test-asan bench format format-check clean

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

test: deps test-release test-asan format-check

test-release: build
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan-ubsan
	cmake --build --preset asan-ubsan -j $(JOBS)
	ctest --preset asan-ubsan -j $(JOBS)

bench: build
	$(RELEASE)/bench/quarvel_bench

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "clang-format: clean"

clean:
	rm -rf build
