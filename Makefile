# Two ways in on a fresh Debian 12 machine:
#   make run    install what is missing, build, start tessera in the run folder
#   make test   install what is missing, build, run the whole test suite
BUILD     ?= build
ASANBUILD ?= build-asan
JOBS      ?= $(shell nproc)
PICTURE   ?= $(CURDIR)/resources/samples/chelsea.png

PACKAGES = cmake g++ make qt6-base-dev qt6-5compat-dev qt6-qpa-plugins \
           libfreeimage-dev libjpeg62-turbo-dev libjpeg-turbo-progs xvfb xauth

.PHONY: all deps build run test test-asan clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	  else \
	    echo "These Debian packages are needed:$$missing"; \
	    echo "Install them as root:  sudo apt-get install$$missing"; \
	    exit 1; \
	  fi; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD)/run && ./tessera "$(PICTURE)"

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite under AddressSanitizer, in a build folder of its own.
test-asan: deps
	cmake -S . -B $(ASANBUILD) -DCMAKE_BUILD_TYPE=Debug -DTESSERA_ASAN=ON
	cmake --build $(ASANBUILD) -j $(JOBS)
	cd $(ASANBUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASANBUILD)
