# The two everyday commands: `make run` plays the game, `make test` runs every test under the
# sanitizers. `make test-release` runs them again in an optimised build without sanitizers, where
# memory is not pre-filled and an uninitialised read shows; `make tsan` runs them under
# ThreadSanitizer. `make bench` and `make fuzz` build the benchmarks and the fuzz targets;
# `make format` lays out the C++ sources as .clang-format says. Each first installs the Debian
# packages it needs (scripts/setup names them and says why).

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 30

.PHONY: run game-folder test test-release tsan bench fuzz format setup setup-test setup-bench setup-fuzz setup-format \
  clean

setup:
	@scripts/setup build
setup-test:
	@scripts/setup build test
setup-bench:
	@scripts/setup build bench
setup-fuzz:
	@scripts/setup build fuzz
setup-format:
	@scripts/setup format

# `make run` is for playing: it shows what it does in a line each and the build's warnings, and
# keeps CMake's configure output in a log that it prints only when configuring fails.
build/release/build.ninja: | setup
	@echo "Configuring build/release"
	@mkdir -p build/release
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZYVEL_TESTS=OFF \
	  > build/release/configure.log 2>&1 || { cat build/release/configure.log; exit 1; }

# The game plays in build/game, so its save file and Log.txt are written there and assets/ stays as
# committed. Pictures and sounds follow assets/ whenever they are newer there; the initial save is
# copied only when the folder has none, so a high score outlives rebuilds.
GAME_FOLDER := build/game
GAME_FILES := $(patsubst assets/%,$(GAME_FOLDER)/%,\
  $(filter-out assets/Log.txt assets/pylonrush21.dat,$(wildcard assets/*)))

game-folder: $(GAME_FILES) $(GAME_FOLDER)/pylonrush21.dat

$(GAME_FOLDER)/%: assets/%
	@mkdir -p $(@D)
	@cp $< $@

$(GAME_FOLDER)/pylonrush21.dat:
	@mkdir -p $(@D)
	@cp assets/pylonrush21.dat $@

run: setup build/release/build.ninja game-folder
	@echo "Building the game in build/release"
	@cmake --build build/release -j $(JOBS) --target pylonrush -- --quiet
	@echo "Playing in $(GAME_FOLDER), where the save file (pylonrush21.dat) and Log.txt are kept"
	@cd $(GAME_FOLDER) && $(CURDIR)/build/release/game/pylonrush

build/test/build.ninja: | setup-test
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZYVEL_SANITIZE=ON

test: setup-test build/test/build.ninja
	cmake --build build/test -j $(JOBS)
	cd build/test && ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

build/test-release/build.ninja: | setup-test
	cmake -S . -B build/test-release -G Ninja -DCMAKE_BUILD_TYPE=Release

test-release: setup-test build/test-release/build.ninja
	cmake --build build/test-release -j $(JOBS)
	cd build/test-release && ctest --output-on-failure -j $(JOBS)

build/tsan/build.ninja: | setup-test
	cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZYVEL_THREAD_SANITIZE=ON

# The suite under ThreadSanitizer. tests/tsan.supp names the system libraries whose reports are
# set aside, each with its reason.
tsan: setup-test build/tsan/build.ninja
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS)

build/bench/build.ninja: | setup-bench
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYVEL_TESTS=OFF -DZYVEL_BENCH=ON

bench: setup-bench build/bench/build.ninja
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

build/fuzz/build.ninja: | setup-fuzz
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZYVEL_TESTS=OFF -DZYVEL_FUZZ=ON

fuzz: setup-fuzz build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS)
	@for f in build/fuzz/fuzz/fuzz_*; do \
	  name=$$(basename $$f); seeds=$(CURDIR)/fuzz/corpus/$${name#fuzz_}; work=$(CURDIR)/build/fuzz/corpus/$$name; mkdir -p $$work; \
	  echo "== $$f"; LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp \
	    $$f -max_total_time=$(FUZZ_SECONDS) $$work $$( [ -d $$seeds ] && echo $$seeds ) || exit 1; \
	done

# Every C++ file we keep under version control, in place.
format: setup-format
	git ls-files -z -- $(foreach d,library platform game tools tests bench fuzz examples,'$(d)/*.h' '$(d)/*.cpp') \
	  | xargs -0 clang-format -i

clean:
	rm -rf build
