# Build and test the installer on Debian: every target installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
# `make install` puts the native packer in $(PREFIX)/bin and what it packs with (the setup
# stub, the uninstaller) and its README in $(PREFIX)/share/pack, where it looks by default.
PREFIX ?= /usr/local
SHARE = $(DESTDIR)$(PREFIX)/share/pack
SHARED_FILES = setup-stub.exe uninstall.exe README.md

.PHONY: all deps build test demo bench install uninstall clean

all: build

deps:
	@bash tools/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	bash tools/run-tests.sh $(BUILD)

# The demo builds only what it runs (target demo_programs): the packing tool, the stub and
# the uninstaller it packs, the sample product and the driver that plays the user.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target demo_programs
	bash tools/demo.sh $(BUILD)

bench: build
	bash tools/bench.sh $(BUILD)

install: build
	install -d $(DESTDIR)$(PREFIX)/bin $(SHARE)
	install -m 755 $(BUILD)/bin/pack $(DESTDIR)$(PREFIX)/bin/pack
	install -m 644 $(BUILD)/bin/setup-stub.exe $(BUILD)/bin/uninstall.exe packer/README.md $(SHARE)

# Removes exactly what `make install` put there, and the share folder once it is empty.
uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/pack $(addprefix $(SHARE)/,$(SHARED_FILES))
	rmdir $(SHARE) 2>/dev/null || true

clean:
	rm -rf $(BUILD)
