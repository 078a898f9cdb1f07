# Set-up and build entry points; every target installs what is missing first.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: deps deps-run deps-package configure configure-run build run test check clean sanitize-test package fuzz

# Everything: building, running, the tests and the package checks.
deps:
	@bash scripts/install-deps.sh run test package
deps-run:
	@bash scripts/install-deps.sh run
deps-package:
	@bash scripts/install-deps.sh run package

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DPELMORA_TESTS=ON -DPELMORA_BENCH=ON

# The program alone needs no test libraries: a new build folder is set up without tests and benchmarks,
# one that has them keeps them.
configure-run: deps-run
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Running needs the program only, and the screenshot tool when there is no display to show it on.
RUN_TARGETS = pelmora $(if $(DISPLAY)$(WAYLAND_DISPLAY),,grab_screen)
run: configure-run
	cmake --build $(BUILD) -j$(JOBS) --target $(RUN_TARGETS)
	@bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	@$(MAKE) --no-print-directory sanitize-test

# The unit and widget tests alone, for the edit-build-test loop: no program, benchmarks or whole-program tests.
check: configure
	cmake --build $(BUILD) -j$(JOBS) --target unit_tests
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --label-regex unit

# The unit and widget tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails.
# LeakSanitizer suppressions cover third-party libraries only (tests/sanitizers/lsan.supp says which and why).
ASAN_BUILD ?= build-asan
ASAN_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_SANITIZE=address,undefined -DPELMORA_BENCH=OFF
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
sanitize-test: deps
	cmake -S . -B $(ASAN_BUILD) $(ASAN_FLAGS)
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target unit_tests
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS) --label-regex unit

# A .deb of Pelmora for Debian 12, installed under /usr: build-pkg/pelmora_*.deb, made from the program
# in $(BUILD) (built first when missing) without compiling it again.
PKG_BUILD ?= build-pkg
package: configure-run deps-package
	cmake --build $(BUILD) -j$(JOBS) --target pelmora
	sh packaging/build-deb.sh $(BUILD) $(PKG_BUILD)

# Fuzzes the task-file loader with libFuzzer for FUZZ_SECONDS (clang is installed when missing).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/install-deps.sh run clang-14 libclang-rt-14-dev
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
		-DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF -DPELMORA_SANITIZE=address,undefined,fuzzer-no-link
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_task_file
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
