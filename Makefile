# Thin wrapper over CMake: `make demo` and `make test` are all a new machine needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build test check sanitize-check windows windows-tools demo bench fuzz clean

all: build

# The end-to-end tests of build/ also run the programs of the Windows build, when made.
WINDOWS_DIR ?= build-windows
$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DKESTRANE_WINDOWS_BIN_DIR=$(abspath $(WINDOWS_DIR)) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Every test: in the normal build, where the end-to-end tests also run the programs of the
# Windows build under Wine, then in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (every finding fatal), end-to-end tests included. Most tests
# wait on serial time-outs rather than compute, so more of them run at once than there
# are cores. The shipping program's upgrade at real timing (three minutes, the code paths
# of the test-time upgrades) runs in the normal build only.
# While the normal suite mostly waits, the sanitizer build compiles beside it, at a lower
# priority than the tests.
TEST_JOBS ?= 8
SANITIZE_DIR ?= build-asan
test: build windows
	cmake -S . -B $(SANITIZE_DIR) -DKESTRANE_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	@( nice -n 10 cmake --build $(SANITIZE_DIR) -j $(JOBS) >$(SANITIZE_DIR)/build.log 2>&1 ) & sanitizer=$$!; \
	  echo "make test: building $(SANITIZE_DIR) in the background while the normal suite runs"; \
	  $(MAKE) --no-print-directory check; checked=$$?; \
	  wait $$sanitizer; built=$$?; \
	  [ $$built -eq 0 ] || { cat $(SANITIZE_DIR)/build.log; echo "make test: the build of $(SANITIZE_DIR) failed"; }; \
	  [ $$checked -eq 0 ] && [ $$built -eq 0 ]
	$(MAKE) --no-print-directory sanitize-check

check: build windows
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(TEST_JOBS)

sanitize-check:
	cmake -S . -B $(SANITIZE_DIR) -DKESTRANE_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(TEST_JOBS) -E '^RealTiming[.]'

# The Windows programs, cross-built with mingw-w64 into build-windows/ (statically linked).
# The image generators run natively, from the Linux build. FIRMWARE_DIR=/path/to/images
# embeds the real images, as for the Linux build.
FIRMWARE_DIR ?=
windows: windows-tools $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target embed_images sample_images
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DKESTRANE_HOST_TOOLS_DIR=$(abspath $(BUILD_DIR)) -DFIRMWARE_DIR=$(FIRMWARE_DIR)
	cmake --build $(WINDOWS_DIR) -j $(JOBS)

windows-tools:
	tools/install-windows-tools.sh

demo: build
	tools/demo.sh $(BUILD_DIR)

bench: build
	bench/run.sh $(BUILD_DIR)

# libFuzzer targets, built with clang into build-fuzz; each runs FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKESTRANE_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target fuzz_intel_hex_line fuzz_assembly fuzz_version_reply fuzz_base64
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(WINDOWS_DIR) build-fuzz
