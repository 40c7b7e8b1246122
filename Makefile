# make run   installs what building and running needs, builds Tonemark and starts it
#            (under Xvfb with a screenshot when there is no display)
# make test  installs the test tools as well, builds everything and runs every test,
#            then a short fuzzing run of the MIDI reader and a minute of random use
#            of the window under the sanitizers
# make install [PREFIX=/usr/local]  builds and installs the program, its sound module,
#            its desktop entry and icon under PREFIX (DESTDIR is honoured)
# make asan  builds the program with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan
# make monkey SECONDS=N [SEED=S]  builds asan, then drives its window at random for N seconds
#            (default 600); a failure prints the seed that replays it
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all deps test-deps configure build run test install bench fuzz asan monkey clean

all: build

# What building and running needs: compiler, CMake, Qt, FluidSynth, the
# SoundFont, the sound servers' headers and the music font.
deps:
	@scripts/install-deps.sh run
	@scripts/fetch-font.sh

# That and the test tools: GoogleTest, Benchmark, clang, Xvfb, PulseAudio, JACK, Node ...
test-deps:
	@scripts/install-deps.sh test
	@scripts/fetch-font.sh
	@scripts/fetch-verovio.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)/tonemark

test: test-deps build
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@scripts/fuzz.sh 30
	@$(MAKE) --no-print-directory monkey SECONDS=60

bench: test-deps build
	@$(BUILD)/bench/startup_bench
	@$(BUILD)/bench/rebuild_bench
	@$(BUILD)/bench/take_bench
	@$(BUILD)/bench/music_bench
	@$(BUILD)/bench/recording_clock_bench
	@$(BUILD)/bench/metronome_bench
	@$(BUILD)/bench/key_to_sound_bench
	@$(BUILD)/bench/cursor_to_sound_bench

fuzz: test-deps
	@scripts/fuzz.sh $(or $(SECONDS),600)

asan: test-deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONEMARK_SANITIZE=ON \
	  -DTONEMARK_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target tonemark

# Builds only what is installed.
install: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tonemark tonemark_sound
	@cmake --install $(BUILD) --prefix $(PREFIX)

monkey: asan
	@/usr/bin/python3 scripts/monkey.py --binary $(ASAN_BUILD)/tonemark --seconds $(or $(SECONDS),600) $(if $(SEED),--seed $(SEED)) $(MONKEY_ARGS)

clean:
	rm -rf $(BUILD) build-fuzz $(ASAN_BUILD)
