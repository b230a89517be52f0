# Quick start: `make run` and `make test`. Everything else is for developers.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
BUILD_TSAN ?= build-tsan
BUILD_TSAN_APP ?= build-tsan-app
BUILD_WINDOWS ?= build-windows
# CI sets WERROR=ON: a warning fails the build there.
WERROR     ?= OFF
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
FUZZ_SECONDS ?= 30

.PHONY: all deps build run test test-asan test-tsan bench fuzz fuzz-build fuzz-replay screenshot install package package-check clean \
        windows-deps windows test-windows screenshot-windows windows-installer windows-zip test-windows-install

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKNS_WERROR=$(WERROR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(BUILD_ASAN)/build.ninja:
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKNS_SANITIZE=ON -DKNS_WERROR=$(WERROR)

# Leaks are reported; the suppressions cover allocations that Qt and the
# system libraries under it keep for the life of the process.
test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over what runs threads: the serial layer's watcher, the
# link on it, the emulator and the fault tests of the command line. Qt is
# not built for it, so the window stays out of this build.
$(BUILD_TSAN)/build.ninja:
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKNS_SANITIZE_THREAD=ON \
	  -DKNS_BUILD_APP=OFF -DKNS_WERROR=$(WERROR)

# The bench window's tests too, in a build of their own against Debian's Qt,
# which is not built for it: scripts/tsan-qt.supp says why and what is left
# unchecked (the allocator calls made inside Qt and GLib, nothing of ours).
$(BUILD_TSAN_APP)/build.ninja:
	cmake -S . -B $(BUILD_TSAN_APP) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKNS_SANITIZE_THREAD=ON \
	  -DKNS_WERROR=$(WERROR)

test-tsan: deps $(BUILD_TSAN)/build.ninja $(BUILD_TSAN_APP)/build.ninja
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) -L 'serial|link|emu|faults|multibox'
	cmake --build $(BUILD_TSAN_APP) -j $(JOBS) --target app_tests
	cd $(BUILD_TSAN_APP) && QT_QPA_PLATFORM=offscreen \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan-qt.supp" \
	  ctest --output-on-failure -j $(JOBS) -R '^Bench(Window|Rows)\.'

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

# Installs the programs, manual pages, menu entry and completion under
# $(PREFIX) (default /usr/local), below $(DESTDIR) when that is set.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package: $(BUILD)/knsimtool_<version>_amd64.deb.
package: build
	cmake --build $(BUILD) --target package

# The package and its menu entry as lintian and desktop-file-validate see them.
package-check: package
	@scripts/check-package.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

screenshot: build
	@scripts/screenshot.sh $(BUILD)

# docs/screenshot-windows.png and docs/screenshot-windows-150.png: the
# installed knsimtool.exe under wine, at 100 % and at 150 %.
screenshot-windows: windows-installer deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target knsim-emu
	scripts/test-windows.sh $(BUILD_WINDOWS) $(BUILD) scripts/screenshot-windows.sh $(BUILD_WINDOWS)

# Windows x64 (MinGW-w64): knsimtool.exe, knsimtool-cli.exe and the Windows
# test programs, linked statically; the tests run under wine against the
# Linux emulator (scripts/test-windows.sh), always in a private mount
# namespace (unshare) where /dev/ttyS0, this machine's console, is covered.
# The window needs Qt 6 for Windows: scripts/build-qt-windows.sh builds it
# once from Debian's source into a cache outside the checkout (about half an
# hour on two cores; KNS_QT_WINDOWS_CACHE moves the cache). The build folder
# is configured anew when that Qt is another one (a changed build option).
windows-deps:
	@scripts/install-windows-deps.sh

windows: windows-deps deps
	@scripts/build-qt-windows.sh
	@qt=$$(scripts/build-qt-windows.sh --print-prefix); \
	if [ "$$(cat $(BUILD_WINDOWS)/qt-prefix 2>/dev/null)" != "$$qt" ]; then \
	  rm -rf $(BUILD_WINDOWS)/CMakeCache.txt $(BUILD_WINDOWS)/CMakeFiles && \
	  cmake -S . -B $(BUILD_WINDOWS) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=$$qt/lib/cmake/Qt6/qt.toolchain.cmake \
	    -DQT_CHAINLOAD_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake -DKNS_WERROR=$(WERROR) && \
	  echo "$$qt" > $(BUILD_WINDOWS)/qt-prefix; \
	fi
	cmake --build $(BUILD_WINDOWS) -j $(JOBS)

test-windows: windows deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target knsim-emu
	scripts/test-windows.sh $(BUILD_WINDOWS) $(BUILD)

# The setup program $(BUILD_WINDOWS)/KNSimTool-<version>-setup.exe (NSIS) and
# the zip to run without installing, $(BUILD_WINDOWS)/knsimtool-<version>-win64.zip.
windows-installer: windows
	cmake --build $(BUILD_WINDOWS) -j $(JOBS) --target windows-installer

windows-zip: windows
	cmake --build $(BUILD_WINDOWS) -j $(JOBS) --target windows-zip

# The setup program installed, run, upgraded by the next version and
# uninstalled under wine.
test-windows-install: windows-installer deps $(BUILD)/build.ninja
	cmake --build $(BUILD_WINDOWS) -j $(JOBS) --target windows-installer-next
	cmake --build $(BUILD) -j $(JOBS) --target knsim-emu
	scripts/test-windows.sh $(BUILD_WINDOWS) $(BUILD) scripts/test-windows-install.sh $(BUILD_WINDOWS)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_TSAN) $(BUILD_TSAN_APP) $(BUILD_WINDOWS)
