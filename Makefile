# The two commands: `make run` and `make test`. Both install what the machine lacks first.
BUILD_DIR := build
TEST_DIR := build-test
JOBS ?= $(shell nproc)

.PHONY: all deps build run test test-build bench clean screenshot install package package-check

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRIMVALE_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/brimvale

# Installs the Release build: `make install` into /usr/local, `make install PREFIX=/usr
# DESTDIR=stage` into a staging folder.
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package of the Release build (build/brimvale_VERSION_ARCH.deb), and its check:
# lintian, then both programs run from the unpacked package.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

package-check: package
	@bash scripts/check-package.sh $(BUILD_DIR)

# Pictures of the main window, the About box and the other dialog templates, drawn offscreen.
screenshot: build
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/brimvale-screenshot $(BUILD_DIR)/screenshots

test-build: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRIMVALE_SANITIZE=ON -DBRIMVALE_BENCH=OFF
	cmake --build $(TEST_DIR) -j $(JOBS)

# Runs every test, then lists the ten slowest (ctest's record of their run times).
test: test-build
	@cd $(TEST_DIR) && { QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS); status=$$?; \
	  echo "The ten slowest tests (seconds):"; \
	  awk '/^---/ { exit } NF >= 3 && $$(NF - 1) > 0 { name = $$1; for (i = 2; i <= NF - 2; ++i) name = name " " $$i; \
	    sub(/ +# GetParam.*/, "", name); printf "%8.1f  %s\n", $$NF, name }' Testing/Temporary/CTestCostData.txt \
	    | sort -rn | head -10; exit $$status; }
	@$(MAKE) --no-print-directory package-check

bench: build
	@status=0; for b in $$(cat $(BUILD_DIR)/benchmarks.txt); do \
	  echo "== $$b"; $(BUILD_DIR)/bin/$$b || status=1; done; \
	[ -s $(BUILD_DIR)/benchmarks.txt ] || echo "No benchmarks yet."; exit $$status

clean:
	rm -rf $(BUILD_DIR) $(TEST_DIR)

# Fuzzing: `make fuzz FUZZ_SECONDS=180` builds every fuzz target with clang and libFuzzer
# and runs each for that many seconds, seeded from the picture corpus and the kept files.
# FUZZ_TARGETS="fuzz_metafile fuzz_read" runs only those. A crash, a leak or an input slower
# than FUZZ_TIMEOUT seconds stops the run and fails it (see scripts/run-fuzz.sh).
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TIMEOUT ?= 10
FUZZ_TARGETS ?=
CORPUS ?= $(if $(BRIMVALE_CORPUS),$(BRIMVALE_CORPUS),../shared/corpus)

.PHONY: fuzz fuzz-build
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMVALE_FUZZ=ON -DBRIMVALE_TESTS=OFF -DBRIMVALE_BENCH=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)

fuzz: fuzz-build
	@FUZZ_TIMEOUT=$(FUZZ_TIMEOUT) FUZZ_TARGETS="$(FUZZ_TARGETS)" bash scripts/run-fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(CORPUS)
