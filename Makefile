# Thin wrapper over CMake. `make test` builds and tests the three configurations:
#   build/release  x86-64 Release
#   build/asan     x86-64 with AddressSanitizer and UndefinedBehaviorSanitizer
#   build/arm      32-bit ARM cross build, tests run under qemu-arm
# `make test-quick` does the same but skips the tests labelled `slow`.
# `make demo` builds the library, the reference server and ozu-ddns in build/release and runs tools/demo.sh:
# one device registers with the reference server over loopback.

CMAKE ?= cmake
BUILD_DIR ?= $(CURDIR)/build
CTEST ?= ctest
# Build parallelism, and test parallelism (most tests wait on sockets, not the CPU).
JOBS ?= 2
TEST_JOBS ?= 8

BUILDS := release asan arm

CONFIGURE_release := -DCMAKE_BUILD_TYPE=Release
CONFIGURE_asan := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZU_SANITIZE=ON
CONFIGURE_arm := -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/arm-linux-gnueabihf.cmake

CTEST_ARGS := --output-on-failure --parallel $(TEST_JOBS)

DEMO_TARGETS := ozu_dnsupdate ozu-ddns-server ozu-ddns

.PHONY: all test test-quick demo clean $(BUILDS:%=build-%) $(BUILDS:%=test-%) $(BUILDS:%=quick-%)

all: $(BUILDS:%=build-%)

test: $(BUILDS:%=test-%)

test-quick: $(BUILDS:%=quick-%)

$(BUILDS:%=build-%): build-%:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/$* $(CONFIGURE_$*)
	$(CMAKE) --build $(BUILD_DIR)/$* --parallel $(JOBS)

$(BUILDS:%=test-%): test-%: build-%
	$(CTEST) --test-dir $(BUILD_DIR)/$* $(CTEST_ARGS)

$(BUILDS:%=quick-%): quick-%: build-%
	$(CTEST) --test-dir $(BUILD_DIR)/$* $(CTEST_ARGS) --label-exclude slow

demo:
	$(CMAKE) -S $(CURDIR) -B $(BUILD_DIR)/release $(CONFIGURE_release)
	$(CMAKE) --build $(BUILD_DIR)/release --parallel $(JOBS) --target $(DEMO_TARGETS)
	$(CURDIR)/tools/demo.sh $(BUILD_DIR)/release

clean:
	rm -rf $(BUILD_DIR)
