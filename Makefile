# The two commands of the README:
#   make run    builds in Release and runs the tobrel tool's demonstration
#   make test   installs what is missing, builds and runs every test: the
#               native build, the sanitizer build, the fuzz targets and the
#               Windows build under Wine (each where its tools can be had)
JOBS ?= $(shell nproc)
CMAKE ?= cmake
CTEST ?= ctest
FUZZ_SECONDS ?= 30

.PHONY: run test deps test-native test-asan test-fuzz test-windows bench clean

run: deps
	$(CMAKE) -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTOBREL_BUILD_TESTS=OFF -DTOBREL_BUILD_BENCH=OFF
	$(CMAKE) --build build-release -j $(JOBS)
	./build-release/bin/tobrel demo

deps:
	@scripts/install-deps.sh linux

test: deps test-native test-asan test-fuzz test-windows

test-native:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build build -j $(JOBS)
	$(CTEST) --test-dir build --output-on-failure -j $(JOBS) -LE windows-only

test-asan:
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTOBREL_SANITIZE=ON -DTOBREL_BUILD_BENCH=OFF
	$(CMAKE) --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(CTEST) --test-dir build-asan --output-on-failure -j $(JOBS) -LE windows-only

test-fuzz:
	@scripts/run-fuzz.sh $(FUZZ_SECONDS)

test-windows:
	@scripts/test-windows.sh

bench:
	$(CMAKE) -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTOBREL_BUILD_TESTS=OFF
	$(CMAKE) --build build-release -j $(JOBS)

clean:
	rm -rf build build-asan build-release build-fuzz build-win64 build-win32
