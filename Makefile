# Thin wrapper around the CMake presets. `make run` and `make test` install what is missing first.
JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan-ubsan
SAMPLE ?= samples/astronaut.png
RUN_OUT := $(RELEASE)/run-output

.PHONY: all deps build run test test-release test-asan bench format format-check clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

run: build
	@mkdir -p $(RUN_OUT)
	$(RELEASE)/src/cli/fftquarvel-cli spectrum $(SAMPLE) -o $(RUN_OUT)
	@echo "Power spectra of $(SAMPLE) written to $(RUN_OUT)/"

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
