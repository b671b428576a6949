# Everything a fresh machine needs goes through these targets.
BUILD      ?= build
BUILD_SAN  ?= build-san
JOBS       ?= $(shell nproc)
SAMPLE     := samples/sample.mp3

.PHONY: all deps build run test test-release test-sanitize clean

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

test: test-release test-sanitize

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
