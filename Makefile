# Convenience entry points; the build itself is CMake's.
BUILD ?= build
WIN32_BUILD ?= build-win32
JOBS ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: all build test demo format clean bench win32 win32-check

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	sh tools/demo.sh $(BUILD)

bench: build
	@for b in $(BUILD)/*_bench; do [ -x "$$b" ] && "$$b"; done

# The Windows program, cross-built with mingw-w64; win32-check runs it under Wine.
$(WIN32_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DQUENFAR_BENCH=OFF

win32: $(WIN32_BUILD)/CMakeCache.txt
	cmake --build $(WIN32_BUILD) -j $(JOBS)

win32-check: win32
	sh tools/win32-check.sh $(WIN32_BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(WIN32_BUILD)
