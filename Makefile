# Two commands: `make test` and `make run`. Everything else is CMake.
PRESET ?= default
BUILD  := build

.PHONY: all deps configure build test run clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

run: build
	@scripts/run.sh

clean:
	rm -rf build build-*
