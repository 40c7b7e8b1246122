# make run   builds Tonemark and starts it (under Xvfb with a screenshot when there is no display)
# make test  builds everything and runs every test, then a short fuzzing run of the MIDI reader
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh
	@scripts/fetch-font.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)/tonemark

test: build
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@scripts/fuzz.sh 30

bench: build
	@$(BUILD)/bench/startup_bench
	@$(BUILD)/bench/rebuild_bench
	@$(BUILD)/bench/take_bench
	@$(BUILD)/bench/recording_clock_bench
	@$(BUILD)/bench/metronome_bench

fuzz: deps
	@scripts/fuzz.sh $(or $(SECONDS),600)

clean:
	rm -rf $(BUILD) build-fuzz
