# Entry points for people and CI; the build itself is CMake's.
#
#   make / make build   the program and everything else in build/ (Release)
#   make demo           the program only, then a sample node and one tossing run
#   make test           everything, then every test through CTest
#   make bench          the benchmarks          make stress    the stress, fault and crash-state runs
#   make package        the .deb, in build/     make install   into PREFIX (DESTDIR honoured)
#   make win32          the Windows program     make win32-check  ... checked under Wine
#
# Each target first installs the Debian packages it needs when they are missing
# (tools/deps.sh). WERROR=ON turns warnings into errors (CI sets it).
BUILD ?= build
WIN32_BUILD ?= build-win32
JOBS ?= 2
WERROR ?= OFF
PREFIX ?= /usr/local
CMAKE_FLAGS ?=
MAKEFLAGS += --no-print-directory

.PHONY: all build program test demo bench stress package install format clean win32 win32-check

# Configures $(1) for the deps.sh target $(2), on every call: CMake keeps a configured
# directory as it is when nothing changed, so this is cheap, and it picks up WERROR and
# newly installed packages. A failed configure leaves no cache behind, so the next call
# starts afresh instead of stumbling over what the failed one found.
define configure
	@sh tools/deps.sh $(2)
	@cmake -S . -B $(1) $(3) || { rm -f $(1)/CMakeCache.txt; exit 1; }
endef
CONFIGURE_POSIX = -DCMAKE_BUILD_TYPE=Release -DQUENFAR_WERROR=$(WERROR) $(CMAKE_FLAGS)
CONFIGURE_WIN32 = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DQUENFAR_BENCH=OFF -DQUENFAR_WERROR=$(WERROR) $(CMAKE_FLAGS)

all: build

build:
	$(call configure,$(BUILD),demo,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS)

demo:
	$(call configure,$(BUILD),demo,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS) --target quenfar msgdump
	sh tools/demo.sh $(BUILD)

test:
	$(call configure,$(BUILD),test,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	$(call configure,$(BUILD),bench,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS)
	@set -e; for b in $(BUILD)/*_bench; do if [ -x "$$b" ]; then "$$b"; fi; done

stress:
	$(call configure,$(BUILD),stress,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS) --target quenfar
	@status=0; python3 tests/stress/stress.py $(BUILD)/quenfar || status=1; \
	python3 tests/stress/crash.py $(BUILD)/quenfar || status=1; exit $$status

# The package holds the program and msgdump: only those two are built for it.
package:
	$(call configure,$(BUILD),package,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS) --target quenfar msgdump
	cd $(BUILD) && cpack -G DEB

# Builds the program when it is not built yet, so that `make && sudo make install` does
# not build again as root.
install:
	@if [ ! -x $(BUILD)/quenfar ] || [ ! -x $(BUILD)/msgdump ]; then $(MAKE) program; fi
	cmake --install $(BUILD) --prefix $(PREFIX)

# What is installed: the program and msgdump (installed as quenfar-msgdump).
program:
	$(call configure,$(BUILD),demo,$(CONFIGURE_POSIX))
	cmake --build $(BUILD) -j $(JOBS) --target quenfar msgdump

# The Windows program, cross-built with mingw-w64; win32-check runs it under Wine.
win32:
	$(call configure,$(WIN32_BUILD),win32,$(CONFIGURE_WIN32))
	cmake --build $(WIN32_BUILD) -j $(JOBS)

win32-check: win32
	@sh tools/deps.sh win32-check
	sh tests/win32/win32-check.sh $(WIN32_BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(WIN32_BUILD)
