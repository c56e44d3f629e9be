# Thin wrapper over CMake: `make demo` and `make test` are all a new machine needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build test demo bench clean

all: build

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	tools/demo.sh $(BUILD_DIR)

bench: build
	bench/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
