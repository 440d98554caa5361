# Two commands: `make test` and `make run` (and `make package`). Everything else is CMake.
PRESET ?= default

.PHONY: all deps deps-test configure build test test-sanitize fuzz bench run package clean

all: build

# What a build, `make run` and `make package` need; the tests' peers and tools come with deps-test.
deps:
	@scripts/install-deps.sh

deps-test:
	@scripts/install-deps.sh --test

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: deps-test build
	@ctest --preset $(PRESET)

test-sanitize: deps-test
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

fuzz: deps-test
	@scripts/fuzz.sh

bench: deps-test build
	@bench/startup-bench.sh
	@bench/cli-bench.sh

run: build
	@scripts/run.sh

package: build
	@cmake --build --preset $(PRESET) --target package posdip_collection

clean:
	rm -rf build build-*
