# Everything a fresh machine needs goes through these targets.
BUILD      ?= build
BUILD_SAN  ?= build-san
JOBS       ?= $(shell nproc)
SAMPLE     := samples/sample.mp3

.PHONY: all deps build run test test-release test-sanitize test-wine test-fuzz test-valgrind fuzz bench install clean

all: build

deps:
	bash scripts/install-deps.sh base

$(BUILD)/build.ninja $(BUILD)/Makefile:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tools/zmtagio show $(SAMPLE)

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DZM_SANITIZE=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

# Each suite below has its own script; a suite whose script is not there yet is skipped.
test-wine: build
	bash scripts/install-deps.sh wine
	@if [ -f tests/wine/run.sh ]; then bash tests/wine/run.sh; else echo "wine tests: none yet"; fi

test-fuzz: deps
	@if [ -f tests/fuzz/run.sh ]; then bash tests/fuzz/run.sh corpus; else echo "fuzz regressions: none yet"; fi

test-valgrind: build
	@if [ -f tests/valgrind/run.sh ]; then bash tests/valgrind/run.sh $(BUILD); else echo "valgrind run: none yet"; fi

fuzz: deps
	bash tests/fuzz/run.sh fuzz

bench: build
	bash scripts/install-deps.sh bench
	bash bench/run.sh $(BUILD)

install: build
	cmake --install $(BUILD)

test: test-release test-sanitize test-wine test-fuzz test-valgrind

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
