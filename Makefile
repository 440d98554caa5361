# Two commands: `make test` and `make run` (and `make package`). Everything else is CMake.
PRESET ?= default

.PHONY: all deps configure build test test-sanitize fuzz bench run package clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

test-sanitize: deps
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

fuzz: deps
	@scripts/fuzz.sh

bench: build
	@bench/startup-bench.sh
	@bench/cli-bench.sh

run: build
	@scripts/run.sh

package: build
	@cmake --build --preset $(PRESET) --target package

clean:
	rm -rf build build-*
