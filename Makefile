# Thin wrapper over CMake. `make test` builds and tests the four configurations:
#   build/release  x86-64 Release
#   build/asan     x86-64 with AddressSanitizer and UndefinedBehaviorSanitizer
#   build/arm      32-bit ARM cross build, tests run under qemu-arm
#   build/tsan     x86-64 with ThreadSanitizer, the client tests only; it skips the tests
#                  labelled `slow`, which wait out timeouts and add no thread interleavings
# and then the big-endian MIPS cross build, build/mips: the library and the cipher tests, run under
# qemu-mips (`make test-mips`), and the Debian packages (`make test-deb`).
# `make lint` runs clang-tidy with .clang-tidy over our sources (tools/lint.sh, build/lint) and fails
# on any finding.
# `make test` first checks the layout (`make format-check`, .clang-format); after the four
# configurations it runs the fuzz step, then `make lint`, and last the size check: tools/test_size.sh
# fails when the tests exceed 40% of the rest of the code. `time make test` gives its duration.
# `make test-quick` builds and tests the five configurations alone, skipping the tests labelled `slow`.
# `make deb` builds the Debian packages in build/deb/packages (cmake/package.cmake) from a build configured
# as a packager would, without the tests. `make test-deb` installs them with dpkg (as root, or through sudo),
# checks the installed programs and library (tests/package/check_installed.sh) and purges them again.
# `make demo` builds the library, the reference server and ozu-ddns in build/release and runs tools/demo.sh:
# one device registers with the reference server over loopback.
# `make fuzz` builds the libFuzzer targets with clang in build/fuzz and runs each for FUZZ_SECONDS.
# `make load` builds the server and the fleet generator in build/release and runs tools/load/load.sh
# in a network namespace of its own (it needs root): 100,000 devices against the server and a local
# BIND 9; it prints a summary table and fails when a goal is missed.
# `make soak` runs the background threads for SOAK_SECONDS (default 600) under valgrind (tools/soak.sh).
# `make bench` builds the benchmark in build/release and the library in build/arm, runs the
# benchmark once and fails when a target ratio or the stripped ARM library size is missed.

CMAKE ?= cmake
BUILD_DIR ?= $(CURDIR)/build
CTEST ?= ctest
CPACK ?= cpack
# Build parallelism, and test parallelism (most tests wait on sockets, not the CPU).
JOBS ?= 2
TEST_JOBS ?= 8

BUILDS := release asan arm tsan

# Our own builds make warnings errors; a packager's build leaves them warnings.
STRICT := -DOZU_WERROR=ON
CONFIGURE_release := -DCMAKE_BUILD_TYPE=Release $(STRICT)
CONFIGURE_asan := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZU_SANITIZE=ON $(STRICT)
CONFIGURE_arm := -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/arm-linux-gnueabihf.cmake $(STRICT)
CONFIGURE_tsan := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZU_SANITIZE_THREAD=ON $(STRICT)

# build/mips: 32-bit big-endian MIPS, the library and its cipher tests, which run under qemu-mips. Debian has
# neither GoogleTest nor OpenSSL for it: GoogleTest is built from Debian's sources and staged in
# build/mips-gtest, and the tests get OpenSSL's DES from the release build's oracle program.
GTEST_SOURCE ?= /usr/src/googletest
MIPS_TOOLCHAIN := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mips-linux-gnu.cmake
MIPS_GTEST_STAGE := $(BUILD_DIR)/mips-gtest/stage
CONFIGURE_mips := -DCMAKE_BUILD_TYPE=Release $(MIPS_TOOLCHAIN) $(STRICT) -DCMAKE_FIND_ROOT_PATH=$(MIPS_GTEST_STAGE) \
	-DOZU_TEST_DES_ORACLE=$(BUILD_DIR)/release/tests/ozu-des-oracle
MIPS_TARGETS := ozu_dnsupdate des_test codec_base64_test
MIPS_TEST_DIRS := des codec

# As a packager's build: tests off, and GoogleTest kept out of sight to show that they do not need it.
CONFIGURE_deb := -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
	-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON $(STRICT)
DEB_DIR := $(BUILD_DIR)/deb/packages
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

# Where each configuration's tests live, and what it leaves out.
TESTS_tsan := /tests/ddns
SKIP_tsan := --label-exclude slow

CTEST_ARGS := --output-on-failure --parallel $(TEST_JOBS)

DEMO_TARGETS := ozu_dnsupdate ozu-ddns-server ozu-ddns
SOAK_TARGETS := ozu_dnsupdate ozu-ddns-server ozu-soak
FUZZ_SECONDS ?= 30
CONFIGURE_fuzz := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(STRICT) \
	-DOZU_BUILD_TESTS=OFF -DOZU_BUILD_FUZZERS=ON -DOZU_FUZZ_SECONDS=$(FUZZ_SECONDS)

.PHONY: format format-check lint all test test-quick demo fuzz soak load bench clean $(BUILDS:%=build-%) $(BUILDS:%=test-%) \
	$(BUILDS:%=quick-%) mips-gtest build-mips test-mips deb test-deb

all: $(BUILDS:%=build-%) build-mips

test: format-check $(BUILDS:%=test-%) test-mips test-deb fuzz lint
	$(CURDIR)/tools/test_size.sh

test-quick: $(BUILDS:%=quick-%) test-mips

$(BUILDS:%=build-%): build-%:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/$* $(CONFIGURE_$*)
	$(CMAKE) --build $(BUILD_DIR)/$* --parallel $(JOBS)

$(BUILDS:%=test-%): test-%: build-%
	$(CTEST) --test-dir $(BUILD_DIR)/$*$(TESTS_$*) $(CTEST_ARGS) $(SKIP_$*)

$(BUILDS:%=quick-%): quick-%: build-%
	$(CTEST) --test-dir $(BUILD_DIR)/$*$(TESTS_$*) $(CTEST_ARGS) --label-exclude slow

mips-gtest:
	$(CMAKE) -S $(GTEST_SOURCE) -B $(BUILD_DIR)/mips-gtest -DCMAKE_BUILD_TYPE=Release $(MIPS_TOOLCHAIN) -DBUILD_GMOCK=OFF
	$(CMAKE) --build $(BUILD_DIR)/mips-gtest --parallel $(JOBS)
	DESTDIR=$(MIPS_GTEST_STAGE) $(CMAKE) --install $(BUILD_DIR)/mips-gtest

build-mips: mips-gtest
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/mips $(CONFIGURE_mips)
	$(CMAKE) --build $(BUILD_DIR)/mips --parallel $(JOBS) --target $(MIPS_TARGETS)

test-mips: build-mips build-release
	$(foreach dir,$(MIPS_TEST_DIRS),$(CTEST) --test-dir $(BUILD_DIR)/mips/tests/$(dir) $(CTEST_ARGS) &&) true

deb:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/deb $(CONFIGURE_deb)
	$(CMAKE) --build $(BUILD_DIR)/deb --parallel $(JOBS)
	rm -rf $(DEB_DIR)
	cd $(BUILD_DIR)/deb && $(CPACK) -B $(DEB_DIR)

test-deb: deb
	$(SUDO) $(CURDIR)/tests/package/check_installed.sh $(DEB_DIR) $(CURDIR)/tests/consumer/project/consumer.c

demo:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/release $(CONFIGURE_release)
	$(CMAKE) --build $(BUILD_DIR)/release --parallel $(JOBS) --target $(DEMO_TARGETS)
	$(CURDIR)/tools/demo.sh $(BUILD_DIR)/release

# The fuzzers are CPU-bound: two at a time.
fuzz:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/fuzz $(CONFIGURE_fuzz)
	$(CMAKE) --build $(BUILD_DIR)/fuzz --parallel $(JOBS)
	$(CTEST) --test-dir $(BUILD_DIR)/fuzz --label-regex fuzz --output-on-failure --parallel 2

soak:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/soak -DCMAKE_BUILD_TYPE=RelWithDebInfo $(STRICT)
	$(CMAKE) --build $(BUILD_DIR)/soak --parallel $(JOBS) --target $(SOAK_TARGETS)
	$(CURDIR)/tools/soak.sh $(BUILD_DIR)/soak

load:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/release $(CONFIGURE_release)
	$(CMAKE) --build $(BUILD_DIR)/release --parallel $(JOBS) --target ozu-ddns-server ozu-load
	unshare -n sh -c 'ip link set lo up && exec $(CURDIR)/tools/load/load.sh $(BUILD_DIR)/release'

ARM_STRIP ?= arm-linux-gnueabihf-strip
ARM_LIBRARY := $(BUILD_DIR)/arm/libozu_dnsupdate.so

bench:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/release $(CONFIGURE_release)
	$(CMAKE) --build $(BUILD_DIR)/release --parallel $(JOBS) --target ozu-bench
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/arm $(CONFIGURE_arm)
	$(CMAKE) --build $(BUILD_DIR)/arm --parallel $(JOBS) --target ozu_dnsupdate
	$(ARM_STRIP) -o $(ARM_LIBRARY).stripped $(ARM_LIBRARY)
	$(BUILD_DIR)/release/bench/ozu-bench --arm-library=$(ARM_LIBRARY).stripped

# Our C and C++ sources as git tracks them; generated files keep their generator's layout.
FORMAT_FILES = $(shell git ls-files '*.c' '*.cpp' '*.h' | xargs awk 'FNR == 1 && !/[Gg]enerated by/ {print FILENAME; nextfile}')

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	clang-format --dry-run --Werror $(FORMAT_FILES)

lint:
	LINT_JOBS=$(JOBS) $(CURDIR)/tools/lint.sh $(BUILD_DIR)/lint

clean:
	rm -rf $(BUILD_DIR)
