# Tamo Tracker: set-up, build, run, test and install on Debian 12.
#   make run        install the run-time packages that are missing, build, open the tracker
#   make build      the same without opening it: only tamo, tamo-render and the data folder
#   make test       install the test tools too, build everything, run every test, then the
#                   unit tests again built with the address and undefined-behaviour sanitizers
#   make fuzz       install clang, run each fuzz target for FUZZ_SECONDS (default 60)
#   make bench      idle, playing, start-up and render costs beside a bare window
#   make install    install into PREFIX (default ~/.local); make uninstall removes it again
#   make deb        the Debian package build/tamo-tracker_VERSION_ARCH.deb, checked by lintian

# What building and running need (Mesa's GL driver for the window, libsndfile for the
# export, RtMidi for MIDI input), what the Debian package's build adds, what the tests
# add (the package, the MIME database and its query tool, a JACK server for the MIDI tests
# among them), and what the fuzz build adds.
RUN_PACKAGES  := cmake g++ make pkg-config libglfw3-dev libgl-dev libopenal-dev libopenal1 \
                 libstb-dev libsndfile1-dev libgl1-mesa-dri libglx-mesa0 libx11-dev \
                 librtmidi-dev libasound2-dev libjack-jackd2-dev
DEB_PACKAGES  := $(RUN_PACKAGES) debhelper dpkg-dev lintian
TEST_PACKAGES := $(DEB_PACKAGES) googletest libgtest-dev xvfb xauth xdotool x11-apps sox \
                 imagemagick libxtst-dev desktop-file-utils appstream x11-xkb-utils \
                 shared-mime-info libglib2.0-bin strace \
                 x11-xserver-utils jackd2
FUZZ_PACKAGES := $(RUN_PACKAGES) clang libclang-rt-14-dev
PREFIX   ?= $(HOME)/.local
BUILD    := build
ASAN     := build-asan
FUZZ     := build-fuzz
JOBS     := $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
# The end-to-end tests drive the real programs (and install them); they run once, in the
# normal build.
E2E_TESTS := ^(TrackerWindow|DemoSongRender|Installation)[.]
# The system's OpenGL driver (Mesa with LLVM) frees with a mismatched call; that report
# is not ours, so mismatch reports are off. Leaks and every other address and
# undefined-behaviour fault fail the run.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:alloc_dealloc_mismatch=0 \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps deps-deb deps-test deps-fuzz build build-all run test test-asan fuzz bench \
        clean install uninstall deb

all: build

# Installs the missing packages of $(1) as root; otherwise prints the command to run.
define install-missing
	@missing=""; \
	for p in $(1); do \
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
endef

deps:
	$(call install-missing,$(RUN_PACKAGES))

deps-deb:
	$(call install-missing,$(DEB_PACKAGES))

deps-test:
	$(call install-missing,$(TEST_PACKAGES))

deps-fuzz:
	$(call install-missing,$(FUZZ_PACKAGES))

# The programs and the data folder only; GoogleTest is not needed.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMO_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS) --target tamo tamo-render data_link

# Everything: the programs, the tests, the asset tools and the benchmarks.
build-all: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMO_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/tamo

test: build-all
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) </dev/null
	$(MAKE) test-asan

test-asan: deps-test
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DTAMO_SANITIZE=ON -DTAMO_TESTS=ON
	cmake --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS) -E '$(E2E_TESTS)' </dev/null

fuzz: deps-fuzz
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ) -j$(JOBS)
	fuzz/run.sh $(FUZZ_SECONDS) $(FUZZ)

bench: build-all
	bench/run.sh $(BUILD)

# As root with the programs already built (make build as yourself first), nothing is
# rebuilt, so the build folder stays yours.
install:
	@if [ "$$(id -u)" != 0 ] || [ ! -x $(BUILD)/tamo ]; then $(MAKE) build; fi
	cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	dist/uninstall.sh "$(PREFIX)"

# dpkg-buildpackage writes the package beside the source folder, so it builds a copy of
# the sources in $(BUILD)/deb (without the build folders and the repository itself).
deb: deps-deb
	rm -rf $(BUILD)/deb && mkdir -p $(BUILD)/deb/tamo-tracker
	tar -cf - --exclude="./$$(realpath -m --relative-to=. $(BUILD))" --exclude='./build*' \
	  --exclude=./.git . | tar -xf - -C $(BUILD)/deb/tamo-tracker
	cd $(BUILD)/deb/tamo-tracker && dpkg-buildpackage --build=binary --no-sign
	deb=$$(cd $(BUILD)/deb && ls tamo-tracker_*.deb) && cp $(BUILD)/deb/$$deb $(BUILD)/ && \
	  lintian --fail-on error,warning --info $(BUILD)/$$deb && echo "Built $(BUILD)/$$deb"

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
