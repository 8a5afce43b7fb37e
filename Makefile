# Tamo Tracker: set-up, build, run and test on Debian 12.
#   make run    install what is missing, build, open the tracker
#   make test   install what is missing, build, run every test, then the unit tests
#               again built with the address and undefined-behaviour sanitizers
#   make build  build only
#   make fuzz   run each fuzz target for FUZZ_SECONDS (default 60) from its seeds
#   make bench  idle, playing, start-up and render costs beside a bare window

PACKAGES := cmake g++ make pkg-config libglfw3-dev libgl-dev libopenal-dev \
            libopenal1 libstb-dev googletest libgtest-dev xvfb xauth xdotool \
            x11-apps sox imagemagick clang libclang-rt-14-dev libx11-dev \
            libgl1-mesa-dri libglx-mesa0 libxtst-dev
BUILD    := build
ASAN     := build-asan
FUZZ     := build-fuzz
JOBS     := $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
# The end-to-end tests drive the real program; they run once, in the normal build.
E2E_TESTS := ^(TrackerWindow|DemoSongRender)[.]
# The system's OpenGL driver (Mesa with LLVM) frees with a mismatched call; that report
# is not ours, so mismatch reports are off. Leaks and every other address and
# undefined-behaviour fault fail the run.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:alloc_dealloc_mismatch=0 \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps build run test test-asan fuzz bench clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing </dev/null; \
	  else \
	    echo "Missing packages. Run:"; \
	    echo "  sudo apt-get update && sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/tamo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) </dev/null
	$(MAKE) test-asan

test-asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DTAMO_SANITIZE=ON
	cmake --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS) -E '$(E2E_TESTS)' </dev/null

fuzz: deps
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ) -j$(JOBS)
	fuzz/run.sh $(FUZZ_SECONDS) $(FUZZ)

bench: build
	bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
