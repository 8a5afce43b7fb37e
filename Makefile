# Tamo Tracker: set-up, build, run and test on Debian 12.
#   make run    install what is missing, build, open the tracker
#   make test   install what is missing, build, run every test
#   make build  build only

PACKAGES := cmake g++ make pkg-config libglfw3-dev libgl-dev libopenal-dev \
            libopenal1 libstb-dev googletest libgtest-dev xvfb xauth xdotool \
            x11-apps sox imagemagick clang libclang-rt-14-dev libx11-dev
BUILD    := build
JOBS     := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test clean

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
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
