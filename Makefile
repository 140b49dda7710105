# The two commands of the README: `make test` and `make demo`.
# Both install what is missing, configure with Ninja and build first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_JOBS  ?= 1
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test test-main test-asan format format-check demo fuzz clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# LP_NUM_THREADS=0: Mesa's software rasterizer draws on the calling thread.
# The leak checker stops every thread of the process at exit, and the
# driver's idle worker threads have made that stop fail now and then.
# intercept_tls_get_addr=0: the leak checker then does not scan the thread-
# local blocks of libraries loaded at run time (plug-ins, and the image
# library and Embree behind the modules that libDDImage and libQuor load on
# first use). With this glibc it takes some of those blocks' bounds wrongly,
# and its scan crashed at exit: every time in the window's render test.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUOR_SANITIZE=ON -DQUOR_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && \
	  LP_NUM_THREADS=0 \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:intercept_tls_get_addr=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# One style for every C and C++ file of the tree (.clang-format).
FORMAT_FILES = $(shell find src platform host tests bench fuzz -name '*.cpp' -o -name '*.h' -o -name '*.c')

format: deps
	clang-format -i $(FORMAT_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES) || \
	  (echo "format-check: files above are not formatted; run make format" >&2; exit 1)

test: format-check test-main test-asan

# Every fuzz target for FUZZ_SECONDS each, FUZZ_JOBS of them at once (clang with
# libFuzzer, ASan and UBSan).
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOR_FUZZ=ON -DQUOR_BUILD_TESTS=OFF -DQUOR_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-targets
	scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_JOBS)

demo: build
	scripts/demo $(BUILD) demo-output

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) demo-output
