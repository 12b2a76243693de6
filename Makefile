# Bleeptone: the commands of the README. Every target installs what is missing
# first (Debian/Ubuntu packages through apt); NO_DEPS=1 skips that on machines
# without apt, where the packages listed in scripts/install-deps come from elsewhere.
JOBS ?= $(shell nproc)
ARGS ?=
FUZZ_SECONDS ?= 60
# CI turns warnings into errors.
CMAKE_FLAGS ?= -DBLEEPTONE_WERROR=$(if $(CI),ON,OFF)

.PHONY: all deps run test package bench fuzz sanitize asan tsan web web-engine clean

all: test

deps:
ifeq ($(NO_DEPS),)
	@scripts/install-deps
endif

# Build (release) and start Bleeptone; `make run ARGS=song.mmlp` opens a project.
run: deps
	cmake --preset release $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset release -j $(JOBS) --target bleeptone
	./build/release/app/bleeptone $(ARGS)

# Build (debug) and pass every test.
test: deps
	cmake --preset dev $(CMAKE_FLAGS)
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev -j $(JOBS)

# The Debian package, from the release build: bleeptone_VERSION_ARCH.deb
# (e.g. bleeptone_0.1.0_amd64.deb) lands here, at the top of the tree.
package: deps
	cmake --preset release $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset release -j $(JOBS) --target bleeptone
	rm -f build/release/bleeptone_*.deb
	cd build/release && cpack -G DEB
	cp build/release/bleeptone_*.deb .
	@ls -l bleeptone_*.deb

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then ThreadSanitizer.
sanitize: asan tsan
asan tsan: deps
	cmake --preset $@ $(CMAKE_FLAGS)
	cmake --build --preset $@ -j $(JOBS)
	ctest --preset $@ -j $(JOBS)

# Benchmarks (release build); figures go to the README.
bench: deps
	cmake --preset release $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.5; done

# Every libFuzzer target for FUZZ_SECONDS seconds each (clang).
fuzz: deps
	cmake --preset fuzz $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@for f in build/fuzz/fuzz/fuzz_*; do \
	  echo "== $$f"; mkdir -p build/fuzz/corpus/$$(basename $$f); \
	  $$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 build/fuzz/corpus/$$(basename $$f) fuzz/corpus/$$(basename $$f) || exit 1; \
	done

# The engine in WebAssembly (build/web/web/bleeptone_engine.js) and its tests
# under Node.js, which compare its render with the native program's (the dev
# build's bleeptone, built here too), and the exported web page's in headless
# Chromium. Installs Emscripten, Node.js and Chromium first (scripts/install-deps
# web); make test never needs them.
web:
ifeq ($(NO_DEPS),)
	@scripts/install-deps web
endif
	cmake --preset dev $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset dev -j $(JOBS) --target bleeptone
	cmake --preset web $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset web -j $(JOBS)
	ctest --preset web -j $(JOBS)

# The engine script the program carries in its web pages
# (resources/web/bleeptone_engine.js, committed so that building the program
# needs no Emscripten), rebuilt from today's source: run it after a change to
# engine/ or web/ that make web finds stale, and commit the file.
web-engine:
ifeq ($(NO_DEPS),)
	@scripts/install-deps web
endif
	cmake --preset web $(CMAKE_FLAGS) >/dev/null
	cmake --build --preset web -j $(JOBS) --target bleeptone_engine_js
	cp build/web/web/bleeptone_engine.js resources/web/bleeptone_engine.js

clean:
	rm -rf build
