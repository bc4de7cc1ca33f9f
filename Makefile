# The two set-up commands: `make run` builds and starts Tolvan, `make test` builds and runs every test.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
CHECK_DIR := build/check
SANITIZE_DIR := build/sanitize
DIST_DIR := build/dist
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
# whisper-server and llama-server are built once per source and option set (build/whisper-cache/,
# build/llama-cache/), then copied; the sherpa-onnx libraries and the voice detector's model are fetched once
# (build/sherpa-cache/, build/silero-vad-cache/).
WHISPER_SERVER = JOBS=$(JOBS) scripts/build-whisper-server.sh
# whisper-server with ggml's Vulkan backend, which the app runs where a GPU is (minutes to build: its shaders).
WHISPER_VULKAN = JOBS=$(JOBS) scripts/build-whisper-server.sh --vulkan
LLAMA_SERVER = JOBS=$(JOBS) scripts/build-llama-server.sh
SHERPA_ONNX = scripts/fetch-sherpa-onnx.sh
SILERO_VAD = scripts/fetch-silero-vad.sh
# The recognizers and the voice detector's model, and with them the advisor's server, into one build tree.
RECOGNIZERS = $(WHISPER_SERVER) $1 && $(SHERPA_ONNX) $1 && $(SILERO_VAD) $1
ENGINES = $(RECOGNIZERS) && $(WHISPER_VULKAN) $1 && $(LLAMA_SERVER) $1
SOURCES = $(wildcard $(shell git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null))

.PHONY: run test build build-app format format-check deps test-deps bench package update-image fuzz fuzz-build

# The app starts as soon as it and its recognizers are built; whisper-server's Vulkan build (used from the next
# start on) and the advisor's server (off by default) take minutes and are built meanwhile, at low priority, into
# build/whisper-vulkan.log and build/llama-server.log.
run: deps build-app
	(JOBS=$(JOBS) nice -n 19 scripts/build-whisper-server.sh --vulkan $(RELEASE_DIR) >build/whisper-vulkan.log 2>&1; \
	 JOBS=$(JOBS) nice -n 19 scripts/build-llama-server.sh $(RELEASE_DIR) >build/llama-server.log 2>&1) &
	$(RELEASE_DIR)/bin/tolvan

build-app:
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVAN_BUILD_TESTS=OFF -DTOLVAN_BUILD_BENCHMARKS=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	$(call RECOGNIZERS,$(RELEASE_DIR))

build: build-app
	$(WHISPER_VULKAN) $(RELEASE_DIR)
	$(LLAMA_SERVER) $(RELEASE_DIR)

# build/dist/tolvan_<version>-<build>_amd64.deb
package: deps build
	scripts/make-deb.sh $(RELEASE_DIR) $(DIST_DIR)

# build/dist/Tolvan-<version>-<build>.tar.gz and the feed.json that announces it
update-image: deps build
	scripts/make-update-image.sh $(RELEASE_DIR) $(DIST_DIR)

deps:
	@scripts/install-deps.sh

test-deps:
	@scripts/install-deps.sh --test

format:
	clang-format -i $(SOURCES)

format-check:
	@clang-format --dry-run --Werror $(SOURCES)
	@scripts/check-layers.sh

# The Debian package and the update image, installed and run (made from the check tree, which is already
# built: only the compiler flags differ from `make package`); every test in a debug build under the desktop
# rig (X server, window manager, tray, sound server), then the unit and integration tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the app built with them under sway; last, each fuzz target for
# 10 s.
test: test-deps format-check
	cmake -S . -B $(CHECK_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVAN_BUILD_BENCHMARKS=ON
	cmake --build $(CHECK_DIR) -j $(JOBS)
	$(call ENGINES,$(CHECK_DIR))
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVAN_SANITIZE=ON -DTOLVAN_BUILD_BENCHMARKS=OFF \
		-DTOLVAN_BUILD_DESKTOP_TESTS=OFF
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	$(call ENGINES,$(SANITIZE_DIR))
	scripts/check-deb.sh $(CHECK_DIR)
	tests/desktop/with-desktop.sh ctest --test-dir $(CHECK_DIR) -j $(JOBS) --output-on-failure
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir $(SANITIZE_DIR) -j $(JOBS) --output-on-failure -L 'unit|integration'
	TOLVAN_TEST_EXECUTABLE=$(CURDIR)/$(SANITIZE_DIR)/bin/tolvan tests/desktop/with-desktop.sh \
		ctest --test-dir $(CHECK_DIR) --output-on-failure -R 'WaylandDesktopTest.UnderSway'
	$(MAKE) fuzz FUZZ_SECONDS=10

# The parsers of outside input under libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer): each
# target runs FUZZ_SECONDS from its seed corpus in tests/fuzz/corpus; any crash, leak or report fails.
fuzz: test-deps fuzz-build
	tests/fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

fuzz-build:
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVAN_FUZZ=ON \
		-DTOLVAN_BUILD_TESTS=OFF -DTOLVAN_BUILD_BENCHMARKS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers

bench: test-deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVAN_BUILD_TESTS=OFF -DTOLVAN_BUILD_BENCHMARKS=ON
	cmake --build build/bench -j $(JOBS)
	$(SHERPA_ONNX) build/bench
	$(SILERO_VAD) build/bench
	for program in build/bench/bench/*; do [[ -x $$program && -f $$program ]] && $$program; done
	JOBS=$(JOBS) bench/whisper-server.sh build/bench
