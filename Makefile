# Quick start: `make run` and `make test`. Everything else is for developers.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
BUILD_WINDOWS ?= build-windows
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 30

.PHONY: all deps build run test test-asan bench fuzz fuzz-build fuzz-replay screenshot clean \
        windows-deps windows test-windows

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(BUILD_ASAN)/build.ninja:
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKNS_SANITIZE=ON

test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# libFuzzer needs clang; the window is not needed for the fuzz programs.
$(BUILD_FUZZ)/build.ninja:
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DKNS_FUZZ=ON -DKNS_BUILD_APP=OFF

fuzz-build: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_all

fuzz: fuzz-build
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh run $(BUILD_FUZZ)

fuzz-replay: fuzz-build
	fuzz/run.sh replay $(BUILD_FUZZ)

bench: build
	@scripts/bench.sh $(BUILD)

screenshot: build
	@scripts/screenshot.sh $(BUILD)

# Windows x64 (MinGW-w64): everything below the window, knsimtool-cli.exe and
# the Windows test programs; the tests run under wine against the Linux
# emulator (scripts/test-windows.sh).
windows-deps:
	@scripts/install-windows-deps.sh

$(BUILD_WINDOWS)/build.ninja:
	cmake -S . -B $(BUILD_WINDOWS) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

windows: windows-deps $(BUILD_WINDOWS)/build.ninja
	cmake --build $(BUILD_WINDOWS) -j $(JOBS)

test-windows: windows deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target knsim-emu
	scripts/test-windows.sh $(BUILD_WINDOWS) $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_WINDOWS)
