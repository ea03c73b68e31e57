# Build and test the installer on Debian: every target installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo bench clean

all: build

deps:
	@bash tools/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	bash tools/run-tests.sh $(BUILD)

demo:
	@bash tools/deps.sh
	$(MAKE) build
	bash tools/demo.sh $(BUILD)

bench: build
	bash tools/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
