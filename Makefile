# Build and test the installer on Debian: every target installs what is missing first.
# $(BUILD) holds the shipped 32-bit programs, $(BUILD)/x64 the same sources built 64-bit.
BUILD ?= build
BUILD64 = $(BUILD)/x64
JOBS ?= $(shell nproc)
# `make install` puts the native packer in $(PREFIX)/bin and what it packs with (the setup
# stub, the uninstaller) and its README in $(PREFIX)/share/pack, where it looks by default,
# and its CMake package (find_package(Pack) for CPack) in $(PREFIX)/lib/cmake/Pack.
PREFIX ?= /usr/local
SHARE = $(DESTDIR)$(PREFIX)/share/pack
SHARED_FILES = setup-stub.exe uninstall.exe setup-stub-x64.exe uninstall-x64.exe README.md
CMAKE_PACKAGE = $(DESTDIR)$(PREFIX)/lib/cmake/Pack
CMAKE_PACKAGE_FILES = PackConfig.cmake PackConfigVersion.cmake PackCPack.cmake

.PHONY: all deps build test demo demo-picture bench install uninstall clean fuzz deb cpack-sample

all: build

deps:
	@bash tools/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake

$(BUILD64)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake

build: deps $(BUILD)/CMakeCache.txt $(BUILD64)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(BUILD64) -j $(JOBS)

test: build
	bash tools/run-tests.sh $(BUILD)

# The demo builds only what it runs (target demo_programs): the packing tool, the stub and
# the uninstaller it packs, the sample product and the driver that plays the user; the
# 32-bit ones where this machine runs 32-bit code, else the 64-bit ones.
demo: deps $(BUILD)/CMakeCache.txt $(BUILD64)/CMakeCache.txt
	@if bash tools/runs-32-bit.sh; then \
	  echo "The shipped 32-bit programs on 64-bit Windows (a 64-bit Wine prefix)."; \
	  cmake --build $(BUILD) -j $(JOBS) --target demo_programs && bash tools/demo.sh $(BUILD); \
	else \
	  echo "This machine runs no 32-bit code: the demo shows the 64-bit programs built from the"; \
	  echo "same sources ('make test' runs the 32-bit ones once under emulation)."; \
	  cmake --build $(BUILD64) -j $(JOBS) --target demo_programs && bash tools/demo.sh $(BUILD64); \
	fi

# The demo leaves the dialog's picture in its build folder; this explicit step copies the one
# from the last demo (the same build folder `make demo` chose) over docs/setup-dialog.png.
demo-picture:
	@if bash tools/runs-32-bit.sh; then picture=$(BUILD)/demo/setup-dialog.png; \
	else picture=$(BUILD64)/demo/setup-dialog.png; fi; \
	if [ ! -f "$$picture" ]; then \
	  echo "No $$picture: run 'make demo' without a display first (or with USE_XVFB=1)."; \
	  exit 1; \
	fi; \
	cp "$$picture" docs/setup-dialog.png && echo "Copied $$picture to docs/setup-dialog.png"

# The figures are the shipped 32-bit programs' where this machine runs 32-bit code.
bench: build
	@if bash tools/runs-32-bit.sh; then \
	  bash tools/bench.sh $(BUILD); \
	else \
	  echo "This machine runs no 32-bit code: measuring the 64-bit programs instead."; \
	  bash tools/bench.sh $(BUILD64); \
	fi

# The packer's readers fuzzed for FUZZ_SECONDS each (`make test` gives them 10 s), built
# natively by clang with sanitizers; inputs that make one fail are left in $(BUILD)/fuzz-artifacts.
FUZZ_SECONDS ?= 600
FUZZ_READERS = setup stub manifest icon signature
fuzz: deps
	CXX=clang++ cmake -S packer/posix -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=Release -DPACK_FUZZ_TARGETS=ON
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	@for reader in $(FUZZ_READERS); do \
	  echo "== fuzz_$$reader for $(FUZZ_SECONDS) s"; \
	  bash tests/packer/fuzz/run_fuzzer.sh $(BUILD)/fuzz/fuzz_$$reader tests/packer/fuzz/seeds/$$reader \
	    $(FUZZ_SECONDS) $(BUILD)/fuzz-artifacts || exit 1; \
	done

install: build
	install -d $(DESTDIR)$(PREFIX)/bin $(SHARE) $(CMAKE_PACKAGE)
	install -m 755 $(BUILD)/bin/pack $(DESTDIR)$(PREFIX)/bin/pack
	install -m 644 $(BUILD)/bin/setup-stub.exe $(BUILD)/bin/uninstall.exe packer/README.md $(SHARE)
	install -m 644 $(BUILD64)/bin/setup-stub-x64.exe $(BUILD64)/bin/uninstall-x64.exe $(SHARE)
	install -m 644 $(BUILD)/packer/install/PackConfig.cmake \
	  $(BUILD)/packer/install/PackConfigVersion.cmake packer/cmake/PackCPack.cmake $(CMAKE_PACKAGE)

# The Debian package pack_VERSION_ARCH.deb in $(DEB_DIR): the same files as `make install`
# with PREFIX=/usr, a manual page, the copyright and the changelog (tools/make-deb.sh).
# It builds only what it packs: the native pack, and the stubs and uninstallers of both
# widths. Reproducible: every time in it is SOURCE_DATE_EPOCH, by default the last commit's.
DEB_DIR ?= .
deb: deps $(BUILD)/CMakeCache.txt $(BUILD64)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target native_pack setup-stub uninstall
	cmake --build $(BUILD64) -j $(JOBS) --target setup-stub uninstall
	bash tools/make-deb.sh . $(BUILD) $(BUILD64) $(DEB_DIR)

# samples/cmake, a small CMake product, built and packed by CPack with this build's pack
# (Pack_DIR=$(BUILD)); the last line printed is the setup.
cpack-sample: build
	@bash tools/cpack-sample.sh $(BUILD)

# Removes exactly what `make install` put there, and the share folder once it is empty.
uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/pack $(addprefix $(SHARE)/,$(SHARED_FILES))
	rm -f $(addprefix $(CMAKE_PACKAGE)/,$(CMAKE_PACKAGE_FILES))
	rmdir $(SHARE) $(CMAKE_PACKAGE) 2>/dev/null || true
	rmdir $(DESTDIR)$(PREFIX)/lib/cmake $(DESTDIR)$(PREFIX)/lib 2>/dev/null || true

clean:
	rm -rf $(BUILD)
