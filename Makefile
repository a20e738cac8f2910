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
TSAN_DIR     ?= $(BUILD_DIR)-tsan
FUZZ_SECONDS ?= 60
XVFB         := xvfb-run -a -s "-screen 0 1920x1080x24"

BUNDLE := $(BUILD_DIR)/src/Tirel_artefacts/Release/VST3/Tirel.vst3

.PHONY: install test sanitize tsan packages-build packages-test

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
	cd $(BUILD_DIR) && $(XVFB) ctest --output-on-failure --timeout 1200
	$(MAKE) sanitize
	$(MAKE) tsan

# A clang build with AddressSanitizer (with its leak checker) everywhere and
# UndefinedBehaviorSanitizer on our own code: every test program runs in it (the host-level
# tests load the instrumented plug-in), then each fuzz target runs for a bounded time from its
# checked-in seed corpus. New inputs the fuzzers find go to scratch corpora in the build
# folder, never into the source tree.
FUZZERS := state preset typed

sanitize: packages-test
	CC=clang CXX=clang++ cmake -S . -B $(SAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIREL_FUZZ=ON -DTIREL_BUILD_TESTS=ON
	cmake --build $(SAN_DIR) --target tirel_dsp_tests tirel_processor_tests tirel_ui_tests tirel_bundle_tests \
	    $(addprefix tirel_,$(addsuffix _fuzzer,$(FUZZERS)))
	$(SAN_DIR)/tests/tirel_dsp_tests --gtest_brief=1
	$(XVFB) $(SAN_DIR)/tests/tirel_processor_tests --gtest_brief=1
	cd $(SAN_DIR)/tests && $(XVFB) ./tirel_ui_tests --gtest_brief=1
	cd $(SAN_DIR)/tests/bundle && $(XVFB) ./tirel_bundle_tests_artefacts/Release/tirel_bundle_tests --gtest_brief=1
	for fuzzer in $(FUZZERS); do \
	    mkdir -p $(SAN_DIR)/corpus/$$fuzzer && \
	    $(SAN_DIR)/tests/fuzz/tirel_$${fuzzer}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=30 -print_final_stats=1 \
	        -artifact_prefix=$(SAN_DIR)/$$fuzzer- $(SAN_DIR)/corpus/$$fuzzer tests/fuzz/corpus/$$fuzzer || exit 1; \
	done

# A clang build with ThreadSanitizer everywhere, for the tests in which the audio thread, the
# filter builder and the message thread work together. Reports in the framework's own code
# that are not races of ours are suppressed in tests/tsan.supp, each with its reason.
tsan: packages-test
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIREL_TSAN=ON -DTIREL_BUILD_TESTS=ON
	cmake --build $(TSAN_DIR) --target tirel_processor_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	    $(XVFB) $(TSAN_DIR)/tests/tirel_processor_tests --gtest_brief=1 \
	    --gtest_filter='ConcurrencyStress.*:LinearModes*:BlockProcessing*:AnalyserFeed*:State*'

packages-build:
	@./.ci/install-packages $(BUILD_PACKAGES)

packages-test:
	@./.ci/install-packages $(TEST_PACKAGES)
