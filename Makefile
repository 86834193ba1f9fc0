# Entry points for people and CI. `make run` and `make test` do all set-up on a fresh Debian 12 machine.
JOBS ?= $(shell nproc)
ROUNDS ?= 3
CMAKE_GEN := -G Ninja

.PHONY: all deps build test tsan run clean bench fuzz crashtest screenshots install uninstall package coverage

all: build

deps:
	@bash scripts/install-deps.sh

# Optimised build with debug info; programs in build/bin.
build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF >/dev/null
	@cmake --build build -j $(JOBS)

# Every fuzz target for FUZZ_TEST_SECONDS seconds from its corpus (a crash fails the test); then the
# debug build under AddressSanitizer and UndefinedBehaviorSanitizer, and every test (ctest's summary
# comes last).
FUZZ_TEST_SECONDS ?= 5
test: deps
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) FUZZ_FLAGS=-verbosity=0
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_WERROR=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS)

# Debug build under ThreadSanitizer, then the tests that run threads: the application's run on its
# worker thread and message loop, the engine and support pieces both threads use, and the
# compression library's deflating threads and its binding's lock; the desktop's dialogs and message
# loop with a worker's boxes. Qt is not instrumented: tests/tsan.supp keeps its inner workings out.
TSAN_TARGETS := app_tests engine_tests support_tests platform_tests ibzip_tests files_tests uiqt_tests
TSAN_TESTS := ^(AppTest|FolderPrefetchTest|TerminationTest|ProgressDialogTest|TimerLoopTest|CommandLineTest|IbZipTest|RetentionTest|LineArchiveTest|LineBufferPoolTest|TraceTest)\.|^ArchiveWriterTest\.(Packs|Updates)|^(QtMessageLoopTest|QtPresenterTest|WhiteMessageBoxTest|ErrorListDialogTest|ProgressWindowTest|ImageButtonTest|ArtworkTest)\.
tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_TSAN=ON -DQUILLON_WERROR=ON >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'
	@# The whole program too, on the console: a run over a hostile tree, signals that end it and two
	@# runs at once (a race report ends the program with status 66, which fails the script).
	@cmake --build build-tsan -j $(JOBS) --target quillon-run quillon-reg ib-zip
	@TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/tests/tsan.supp" \
		python3 tests/crash/hostiletree.py build-tsan/bin --many 300
	@TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/tests/tsan.supp" \
		python3 tests/crash/terminate.py build-tsan/bin --rounds 1

# Builds every libFuzzer target (fuzz/*Fuzz.cpp) with clang and runs each for FUZZ_SECONDS seconds,
# starting from its seed corpus in fuzz/corpus/<target>/; new inputs collect in build-fuzz/corpus/.
FUZZ_SECONDS ?= 60
FUZZ_FLAGS ?= -print_final_stats=1
fuzz: deps
	@cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_all
	@set -e; for source in fuzz/*Fuzz.cpp; do \
		target=$$(basename $$source .cpp); \
		mkdir -p build-fuzz/corpus/$$target fuzz/corpus/$$target; \
		echo "== $$target: $(FUZZ_SECONDS) s"; \
		build-fuzz/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) \
			build-fuzz/corpus/$$target fuzz/corpus/$$target; \
	done

# Crash consistency: kills quillon-run with SIGKILL at CRASH_KILLS seeded moments of a backup (plain and
# compressed sets), runs it again to the end after each and checks that every file is recoverable, every
# control file parses, no set holds a version the source never had (a large file rewritten every round,
# so that kills land in the middle of its copy) and the hives are sound; then the full-disk tests
# (one run out of space, then 0..16 free pages) and the hostile tree with 100 000 files in one folder.
CRASH_KILLS ?= 50
CRASH_SEED ?= 1
crashtest: build
	@command -v python3 >/dev/null || bash scripts/install-deps.sh python3
	@python3 tests/crash/crashtest.py build/bin --kills $(CRASH_KILLS) --seed $(CRASH_SEED) --large-mb 24
	@python3 tests/crash/fulldisk.py build/bin --sweep 16 --seed $(CRASH_SEED)
	@python3 tests/crash/hostiletree.py build/bin --many 100000 --max-rss-mb 160

# Benchmarks against cp -a, zip, unzip, find and rsync on generated trees (build/bench-data, about 1.3 GiB).
bench: build
	@command -v rsync >/dev/null && command -v bc >/dev/null && command -v zip >/dev/null && command -v unzip >/dev/null || \
		bash scripts/install-deps.sh rsync bc zip unzip
	@bash bench/run.sh build/bin build/bench-data $(ROUNDS)

# The demo: a small tree of its own backed up twice, with its own hives and drive map in build/demo.
run: build
	@bash scripts/demo.sh build/bin build/demo

# Installs the optimised programs, manual pages and help below PREFIX (default /usr/local); DESTDIR is honoured.
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# Removes what the last `make install` put in place (build/install_manifest.txt; give the same DESTDIR).
uninstall:
	@DESTDIR="$(DESTDIR)" cmake -DMANIFEST=build/install_manifest.txt -P cmake/Uninstall.cmake

# The Debian package build/quillon_<version>_<arch>.deb; `apt-get install ./build/quillon_*.deb` installs it.
package: build
	@command -v dpkg-shlibdeps >/dev/null && command -v file >/dev/null || bash scripts/install-deps.sh dpkg-dev file
	@cd build && cpack -G DEB

# Line and branch coverage per folder of src/ and tools/ (a Debug build with gcc's instrumentation, every
# test run once, read back by gcovr), then the ratio of test lines to code lines.
coverage: deps
	@command -v gcovr >/dev/null || bash scripts/install-deps.sh gcovr
	@cmake -S . -B build-cov $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_COVERAGE=ON >/dev/null
	@cmake --build build-cov -j $(JOBS)
	@# Notes of sources deleted since an earlier build would be read back as files that no longer exist.
	@cd build-cov && ninja -t cleandead >/dev/null
	@find build-cov -name '*.gcno' | while read -r notes; do [ -e "$${notes%.gcno}.o" ] || rm -f "$$notes"; done
	@find build-cov -name '*.gcda' -delete
	@cd build-cov && ctest -j $(JOBS) --output-on-failure > ctest.log || { tail -40 ctest.log; exit 1; }
	@gcovr -r . build-cov --filter 'src/' --filter 'tools/' --exclude-unreachable-branches \
		--exclude-throw-branches --json-summary build-cov/coverage.json -j $(JOBS) >/dev/null
	@python3 scripts/coverage-summary.py build-cov/coverage.json
	@bash scripts/test-ratio.sh

clean:
	rm -rf build build-asan build-tsan build-fuzz build-cov

# Every dialog of the desktop in its typical states, drawn offscreen into build/screenshots/*.png.
screenshots: build
	@QT_QPA_PLATFORM=offscreen build/bin/quillon-screenshots build/screenshots
