# Entry points for people and CI. `make run` and `make test` do all set-up on a fresh Debian 12 machine.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps build test run clean

all: build

deps:
	@bash scripts/install-deps.sh

# Optimised build with debug info; programs in build/bin.
build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF >/dev/null
	@cmake --build build -j $(JOBS)

# Debug build under AddressSanitizer and UndefinedBehaviorSanitizer, then every test.
test: deps
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_WERROR=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS)

run: build
	@build/bin/quillon-run

clean:
	rm -rf build build-asan build-tsan
