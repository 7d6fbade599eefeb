# Formwick: thin wrapper around CMake. `make run` and `make test` install
# what they need (Debian packages) before building.

BUILD      ?= build
SAN_BUILD  ?= build-san
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
FUZZ_SECONDS ?= 20
# make fuzz-long: an hour per target unless FUZZ_SECONDS is given.
FUZZ_LONG_SECONDS := $(if $(filter command line environment,$(origin FUZZ_SECONDS)),$(FUZZ_SECONDS),3600)
GENERATOR  := -G Ninja

.PHONY: all build run test unit-test san-test fuzz fuzz-long bench soak clean format install package

all: build

build:
	@tools/deps.sh build
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ ! -x $(BUILD)/fwkhttpd ]; then \
	  echo "fwkhttpd is not built yet: the server program does not exist in this tree."; exit 1; fi
	$(BUILD)/fwkhttpd --root $(CURDIR)/demo/ $(ARGS)

# Every test: the unit and end-to-end tests in a normal build, then the same
# tests under AddressSanitizer + UndefinedBehaviorSanitizer (clang), including
# a replay of every committed fuzz corpus, then each fuzz target for
# FUZZ_SECONDS on that corpus.
test:
	@tools/deps.sh test
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	CXX=clang++ cmake -S . -B $(SAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DFWK_SANITIZE=ON -DFWK_FUZZ=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) tools/run-fuzz.sh $(SAN_BUILD)

# Installs below PREFIX (default /usr/local), staged under DESTDIR when set:
# `make && sudo make install`, or `make install PREFIX=$HOME/.local`.
# As root it installs what is already built rather than building as root.
install:
	@if [ "$$(id -u)" -ne 0 ] || [ ! -x $(BUILD)/fwkhttpd ]; then $(MAKE) --no-print-directory build; fi
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# The Debian package (formwick_<version>_<arch>.deb) in $(BUILD).
package: build
	@tools/deps.sh package
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/*.deb

fuzz:
	@tools/deps.sh test
	CXX=clang++ cmake -S . -B $(SAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DFWK_SANITIZE=ON -DFWK_FUZZ=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) tools/run-fuzz.sh $(SAN_BUILD)

# Each fuzz target for an hour (FUZZ_SECONDS), keeping what adds coverage in
# fuzz/corpus/<target>/ for the next commit.
fuzz-long:
	@tools/deps.sh test
	CXX=clang++ cmake -S . -B $(SAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DFWK_SANITIZE=ON -DFWK_FUZZ=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_LONG_SECONDS) tools/run-fuzz.sh $(SAN_BUILD) --keep

# The kill -9 campaign of `make test` for SOAK_SECONDS (default ten minutes)
# instead of 30 s.
SOAK_SECONDS ?= 600
soak: build
	@tools/deps.sh test
	cd tests && FWKHTTPD=$(CURDIR)/$(BUILD)/fwkhttpd FWK_SOURCE_DIR=$(CURDIR) \
	  FWK_KILL_SECONDS=$(SOAK_SECONDS) python3 -m unittest -v test_save_kills

bench:
	@tools/deps.sh bench
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DFWK_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/bench_*; do [ -x $$b ] && $$b || exit 1; done
	@if [ -x bench/http/run.sh ]; then bench/http/run.sh $(BENCH_BUILD); fi
	/usr/bin/python3 bench/mail_backlog.py $(BENCH_BUILD)
	/usr/bin/python3 bench/collect_ingest.py $(BENCH_BUILD)
	@if [ -x bench/export/run.py ]; then python3 bench/export/run.py $(BENCH_BUILD); fi

format:
	find core platform expr store script template mail forms records http server install tests bench fuzz -name '*.cpp' -o -name '*.hpp' \
	  | xargs -r clang-format -i

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(BENCH_BUILD)
