# Thin wrapper around CMake. See README.md for the commands a newcomer needs.
#   make deps   install the Debian packages the build and the tests need
#   make        Release build into build/ (programs in build/bin, libraries in build/lib)
#   make test   deps + AddressSanitizer/UndefinedBehaviorSanitizer build + ctest, then the
#               engine's tests under ThreadSanitizer
#   make run    deps + build + the viewer on the bundled sample (no display: a picture of it)
#   make bench  deps + Release build + benchmarks
#   make fuzz   deps + libFuzzer builds of the trace reader, the HTTP response parser and the PNG
#               and BMP loaders, each run for FUZZ_SECONDS (FUZZ_TARGETS picks which)
#   make sample build + write samples/sample.log anew with kiv-trace-demo
#   make screenshot  build + the README's picture of the viewer, docs/KivLogView2.png

BUILD_DIR      ?= build
TEST_BUILD_DIR ?= build-asan
TSAN_BUILD_DIR ?= build-tsan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS   ?= 600
FUZZ_TARGETS   ?= KivLogSysFileFuzzer KivHttpResDataFuzzer KivPngLoadFuzzer KivBmpLoadFuzzer
JOBS           ?= $(shell nproc)
BENCH_TRACE    ?= $(BUILD_DIR)/bench-data/trace-1g.log

# Debian packages: toolchain, test and benchmark frameworks, clang for the fuzzer, pugixml,
# python3 for the independent model that checks kivlog; Qt 6, its SVG plugin (the viewer's icon)
# and a Japanese font for the viewer; xmllint to check the XML files the tests write; systemd's bus
# library for the service control, and a D-Bus daemon for its tests' private bus; libpng to decode
# PNG images and cairo for the image streams' drawing contexts; SQLite, the registry's store.
PACKAGES := g++ cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev \
            libbenchmark-dev clang libclang-rt-14-dev libpugixml-dev python3 \
            qt6-base-dev qt6-base-dev-tools libqt6svg6 libgl-dev fonts-noto-cjk libxml2-utils \
            libsystemd-dev dbus-daemon libpng-dev libcairo2-dev libsqlite3-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build deps test run bench fuzz sample screenshot clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The engine builds its method index on several threads: its tests run once more under
# ThreadSanitizer (all but the one that loads under a small address-space limit, which the
# sanitizer's own memory cannot meet); a data race fails them.
TSAN_TESTS  := KivLogSysMgrTests KivLogSysMgrApiTests
TSAN_FILTER := -CKivLogSysFileTest.ForegroundLoadThatRunsOutOfMemoryReturnsThatStatus
test: deps
	cmake -S . -B $(TEST_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	cd $(TEST_BUILD_DIR) && ctest --output-on-failure --timeout 600 -j $(JOBS)
	cmake -S . -B $(TSAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_SANITIZE_THREADS=ON
	cmake --build $(TSAN_BUILD_DIR) -j $(JOBS) --target $(TSAN_TESTS)
	cd $(TSAN_BUILD_DIR)/bin && for t in $(TSAN_TESTS); do ./$$t --gtest_brief=1 --gtest_filter=$(TSAN_FILTER) || exit 1; done

# Without a display the viewer runs on Qt's offscreen platform and leaves a picture of its window.
RUN_PICTURE := $(BUILD_DIR)/KivLogView2-sample.png
run: deps build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/KivLogView2 --screenshot $(RUN_PICTURE) samples/sample.log && \
	  echo "No display: the viewer's window with samples/sample.log is in $(RUN_PICTURE)"; \
	else \
	  $(BUILD_DIR)/bin/KivLogView2 samples/sample.log; \
	fi

# The load benchmark's input is generated once and then reused; it is written under another
# name first, so that an interrupted generation is not taken for a finished one.
bench: deps build
	if [ ! -f $(BENCH_TRACE) ]; then \
	  mkdir -p $(dir $(BENCH_TRACE)) && \
	  $(BUILD_DIR)/bin/kiv-trace-gen --size 1073741824 --out $(BENCH_TRACE).part && \
	  mv $(BENCH_TRACE).part $(BENCH_TRACE); \
	fi
	$(BUILD_DIR)/bin/KivBench
	$(BUILD_DIR)/bin/KivLoadBench $(BENCH_TRACE) $(BUILD_DIR)/bin/kivlog
	mkdir -p $(BUILD_DIR)/bench-scale && $(BUILD_DIR)/bin/KivScaleBench $(BUILD_DIR)/bench-scale $(BENCH_TRACE)
	$(BUILD_DIR)/bin/KivViewerTreeBench $(BENCH_TRACE)
	$(BUILD_DIR)/bin/KivLogViewBench $(BENCH_TRACE)
	$(BUILD_DIR)/bin/KivListsBench $(BENCH_TRACE)
	$(BUILD_DIR)/bin/KivTimeLineBench $(BENCH_TRACE)
	$(BUILD_DIR)/bin/KivImageBench

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_FUZZ=ON
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target $(FUZZ_TARGETS)
	$(foreach target,$(FUZZ_TARGETS),mkdir -p fuzz-out/$(target) && \
	  $(FUZZ_BUILD_DIR)/bin/$(target) -max_total_time=$(FUZZ_SECONDS) -max_len=8192 \
	    fuzz-out/$(target) $($(target)_CORPUS) &&) true

# The stored corpus of each fuzz target; what a run finds goes to fuzz-out/<target>.
KivLogSysFileFuzzer_CORPUS  := LogSysMgr/fuzz/corpus
KivHttpResDataFuzzer_CORPUS := Common/fuzz/corpus
KivPngLoadFuzzer_CORPUS     := Common/fuzz/png-corpus
KivBmpLoadFuzzer_CORPUS     := Common/fuzz/bmp-corpus

# The demo traces into demo-trace/ beside itself (see samples/kiv-trace-demo.log.xml).
sample: deps build
	rm -rf $(BUILD_DIR)/bin/demo-trace
	$(BUILD_DIR)/bin/kiv-trace-demo --settings samples/kiv-trace-demo.log.xml
	cp "$$(ls -t $(BUILD_DIR)/bin/demo-trace/*.log | head -n 1)" samples/sample.log

# The README's picture: the viewer with the bundled sample, drawn on Qt's offscreen platform.
SCREENSHOT := docs/KivLogView2.png
screenshot: deps build
	mkdir -p $(dir $(SCREENSHOT))
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/KivLogView2 --screenshot $(SCREENSHOT) samples/sample.log

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(TSAN_BUILD_DIR) $(FUZZ_BUILD_DIR)
