# Tirel: build and install the plug-in (make install), or build and run every test (make test).
# Both start by installing the Debian packages they need, skipping those already present.

BUILD_DIR ?= build
VST3_DIR  ?= $(HOME)/.vst3
SUDO      := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

BUILD_PACKAGES := cmake ninja-build g++ pkg-config juce-modules-source \
                  libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxext-dev \
                  libxrandr-dev libxinerama-dev libxcursor-dev libgl-dev
TEST_PACKAGES  := $(BUILD_PACKAGES) libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth \
                  clang libclang-rt-14-dev locales

SAN_DIR      ?= $(BUILD_DIR)-sanitize
FUZZ_SECONDS ?= 60

BUNDLE := $(BUILD_DIR)/src/Tirel_artefacts/Release/VST3/Tirel.vst3

.PHONY: install test sanitize packages-build packages-test

install: packages-build
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) --target Tirel_VST3
	mkdir -p "$(VST3_DIR)"
	rm -rf "$(VST3_DIR)/Tirel.vst3"
	cp -R "$(BUNDLE)" "$(VST3_DIR)/"
	@echo "Installed $(VST3_DIR)/Tirel.vst3"

test: packages-test
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIREL_BUILD_TESTS=ON
	cmake --build $(BUILD_DIR)
	cd $(BUILD_DIR) && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure --timeout 1200
	$(MAKE) sanitize

# A clang build with AddressSanitizer (with its leak checker) everywhere and
# UndefinedBehaviorSanitizer on our own code: the unit tests run in it, then each fuzz target
# runs for a bounded time from its checked-in seed corpus. New inputs the fuzzer finds go to a
# scratch corpus in the build folder, never into the source tree.
sanitize: packages-test
	CC=clang CXX=clang++ cmake -S . -B $(SAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIREL_FUZZ=ON -DTIREL_BUILD_TESTS=ON
	cmake --build $(SAN_DIR) --target tirel_dsp_tests tirel_processor_tests tirel_state_fuzzer
	$(SAN_DIR)/tests/tirel_dsp_tests --gtest_brief=1
	$(SAN_DIR)/tests/tirel_processor_tests --gtest_brief=1
	mkdir -p $(SAN_DIR)/corpus/state
	$(SAN_DIR)/tests/fuzz/tirel_state_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(SAN_DIR)/ $(SAN_DIR)/corpus/state tests/fuzz/corpus/state

packages-build:
	@./.ci/install-packages $(BUILD_PACKAGES)

packages-test:
	@./.ci/install-packages $(TEST_PACKAGES)
