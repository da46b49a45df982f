# SPDX-License-Identifier: GPL-3.0-or-later
# Two ways in on a fresh Debian 12 machine:
#   make run    install what is missing, build, start tessera in the run folder
#   make test   install what is missing, build, run the whole test suite
# two to install:
#   make install [PREFIX=/usr/local] [DESTDIR=...]  build and install the programs
#   make package        build a Debian package (tessera_VERSION_ARCH.deb)
#   make package-check  build the package and fail on any lintian error or warning
#   make format         format every C++ source with the committed .clang-format
#   make format-check   fail if any C++ source is not formatted so
# and four for reliability:
#   make test-sanitize  the whole suite under AddressSanitizer and
#                       UndefinedBehaviorSanitizer
#   make test-valgrind  every bad and seed picture loaded twice under
#                       Valgrind's memcheck
#   make fuzz           each fuzzing harness for FUZZ_SECONDS under libFuzzer
#   make test-slurm     docs/sweep-slurm.sh on a one-node Slurm started for
#                       the test (as root)
BUILD        ?= build
SANBUILD     ?= build-sanitize
FUZZBUILD    ?= build-fuzz
PKGBUILD     ?= build-package
PREFIX       ?= /usr/local
JOBS         ?= $(shell nproc)
PICTURE      ?= $(CURDIR)/resources/samples/chelsea.png
FUZZ_SECONDS ?= 60
FUZZERS      ?= qtables table downsampling_pairs help_page picture png encoded_jpeg ppm bmp_rle sweep_csv \
                sweep_file jpeg_info jpeg bit_cost

# Compiler-cache entries keyed by paths relative to the checkout, so that every
# build folder and every checkout of the project shares them.
export CCACHE_BASEDIR ?= $(CURDIR)

PACKAGES = cmake g++ make pkgconf qt6-base-dev qt6-5compat-dev qt6-qpa-plugins \
           libfreeimage-dev libjpeg62-turbo-dev libdeflate-dev libjpeg-turbo-progs libjxl-dev libjxl-testdata xvfb xauth ccache \
           qt6-charts-dev libqt6opengl6-dev qt6-svg-dev parallel netpbm \
           desktop-file-utils appstream dpkg-dev python3 python3-numpy python3-scipy
FUZZ_PACKAGES = clang libclang-rt-14-dev
VALGRIND_PACKAGES = valgrind
PACKAGE_CHECK_PACKAGES = lintian
FORMAT_PACKAGES = clang-format
# Debian's hardening and optimisation flags for the packaged build.
PKG_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
SLURM_PACKAGES = slurm-wlm munge

.PHONY: all deps fuzz-deps valgrind-deps slurm-deps build run test test-sanitize test-asan test-valgrind \
        test-slurm fuzz clean install package package-check format format-check

all: build

# $(call install-missing,PACKAGES): installs those of the Debian packages that
# are not installed yet (as root), or names them and fails.
define install-missing
	@missing=""; \
	for p in $(1); do \
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
endef

deps:
	$(call install-missing,$(PACKAGES))

fuzz-deps: deps
	$(call install-missing,$(FUZZ_PACKAGES))

slurm-deps: deps
	$(call install-missing,$(SLURM_PACKAGES))

valgrind-deps: deps
	$(call install-missing,$(VALGRIND_PACKAGES))

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD)/run && ./tessera "$(PICTURE)"

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The programs, their data, desktop entries, icons, metainfo and manual pages
# under PREFIX; DESTDIR, when set, is put in front of every installed path.
install: build
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(BUILD) -j $(JOBS)
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package built in a folder of its own for /usr, without the tests;
# install it with `apt install ./$(PKGBUILD)/tessera_*.deb`.
package: deps
	cmake -S . -B $(PKGBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DTESSERA_BUILD_TESTS=OFF \
	  -DCMAKE_C_FLAGS="$$($(PKG_FLAGS) CFLAGS) $$($(PKG_FLAGS) CPPFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(PKG_FLAGS) CXXFLAGS) $$($(PKG_FLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(PKG_FLAGS) LDFLAGS)"
	cmake --build $(PKGBUILD) -j $(JOBS)
	rm -f $(PKGBUILD)/tessera_*.deb
	cd $(PKGBUILD) && cpack -G DEB
	@ls -l $(PKGBUILD)/tessera_*.deb

# The package as Debian's checker sees it: any error or warning fails. The
# package carries no overrides.
package-check: package
	$(call install-missing,$(PACKAGE_CHECK_PACKAGES))
	lintian --fail-on error,warning \
	  $(PKGBUILD)/tessera_*.deb

format:
	$(call install-missing,$(FORMAT_PACKAGES))
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	$(call install-missing,$(FORMAT_PACKAGES))
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The whole suite, the fuzzing corpora included, under AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of its own. Leak detection
# stays on; any finding fails its test.
test-sanitize: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DTESSERA_ASAN=ON -DTESSERA_UBSAN=ON
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

test-asan: test-sanitize

# The picture loaders under memcheck: every picture of the bad-input corpus
# and of the fuzzing corpus loaded twice (tst_badpictures samePixelsTwice).
# Any read of memory that a loader never wrote fails it; leaks do not.
# About 20 seconds on two cores; part of CI (.ci/run), not of `make test`.
# docs/sweep-slurm.sh as the README submits it, on a one-node Slurm that the
# test starts (munged, slurmctld, slurmd as root) and stops again; under a
# minute. Skipped, saying so, when not run as root.
test-slurm: build
	@if [ "$$(id -u)" != 0 ]; then \
	  echo "test-slurm: SKIPPED: starting the Slurm daemons needs root"; \
	else \
	  $(MAKE) --no-print-directory slurm-deps && \
	  bash tests/sweep/slurm.sh $(BUILD)/run $(CURDIR)/resources/samples/chelsea.png \
	    $(CURDIR)/resources/samples/coffee.png; \
	fi

test-valgrind: valgrind-deps build
	cd $(BUILD)/tests/reliability && QT_QPA_PLATFORM=offscreen \
	  valgrind --tool=memcheck --error-exitcode=1 --errors-for-leak-kinds=none \
	  --leak-check=no --track-origins=yes ./tst_badpictures samePixelsTwice

# Each harness in turn for FUZZ_SECONDS, starting from its committed corpus
# (fuzz/corpus/NAME) and adding what it finds to a scratch corpus in
# $(FUZZBUILD)/corpus/NAME; failing inputs land in $(FUZZBUILD)/artifacts.
# Ends with a line per harness: executions, inputs added, failures.
fuzz: fuzz-deps
	cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DTESSERA_FUZZ=ON -DTESSERA_BUILD_TESTS=OFF
	cmake --build $(FUZZBUILD) --target fuzzers -j $(JOBS)
	@out=$(abspath $(FUZZBUILD)); status=0; summary=""; \
	mkdir -p $$out/artifacts; \
	for h in $(FUZZERS); do \
	  mkdir -p $$out/corpus/$$h; \
	  echo "== fuzz_$$h for $(FUZZ_SECONDS) s (log: $$out/fuzz_$$h.log)"; \
	  QT_QPA_PLATFORM=offscreen $$out/fuzz/fuzz_$$h -max_total_time=$(FUZZ_SECONDS) \
	    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
	    -artifact_prefix=$$out/artifacts/$$h- \
	    $$out/corpus/$$h $(CURDIR)/fuzz/corpus/$$h > $$out/fuzz_$$h.log 2>&1 || status=1; \
	  runs=$$(sed -n 's/^stat::number_of_executed_units: *//p' $$out/fuzz_$$h.log); \
	  added=$$(sed -n 's/^stat::new_units_added: *//p' $$out/fuzz_$$h.log); \
	  failed=$$(ls $$out/artifacts | grep -c "^$$h-" || true); \
	  summary="$$summary$$(printf '%-20s %10s executions %6s inputs added %3s failing inputs' \
	    fuzz_$$h "$${runs:-?}" "$${added:-?}" "$$failed")\n"; \
	done; \
	printf "$$summary"; exit $$status

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD) $(PKGBUILD)
