# SPDX-License-Identifier: GPL-3.0-or-later
# Quick start: `make run` builds and starts the agent, `make test` builds with
# sanitizers and runs every test. Both install missing Debian packages first.
JOBS ?= 2
RELEASE_DIR := build/release
TEST_DIR := build/sanitize
DEB_DIR := build/deb
# Seconds each fuzzer runs under `make fuzz` (the test suite gives each 20).
FUZZ_SECONDS ?= 600

.PHONY: run test build layers checks configure-test build-test install deb fuzz bench clean

run: build
	./$(RELEASE_DIR)/olvane-helper

build:
	scripts/install-deps.sh build
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(RELEASE_DIR) -j$(JOBS)

# What each library links, as CMake sees it (every arrow points down a layer); the full
# graph is in build/layers/layers.dot.
layers:
	scripts/install-deps.sh build
	cmake -S . -B build/layers -DBUILD_TESTING=OFF >/dev/null
	cmake --graphviz=build/layers/layers.dot build/layers >/dev/null
	@sed -n 's/.*\/\/ \(.*\)/\1/p' build/layers/layers.dot

# The test build is clang's, so that the fuzz targets share it; warnings are errors there.
configure-test:
	scripts/install-deps.sh test
	@# A test build made earlier with another compiler is configured afresh. It installs
	@# where the package does, for the package test.
	@grep -qs 'CMAKE_CXX_COMPILER:STRING=.*clang++' $(TEST_DIR)/CMakeCache.txt || \
		rm -rf $(TEST_DIR)/CMakeCache.txt $(TEST_DIR)/CMakeFiles
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLVANE_SANITIZE=ON \
		-DOLVANE_BENCH=ON -DOLVANE_FUZZ=ON -DOLVANE_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_INSTALL_PREFIX=/usr -DOLVANE_UDEV_RULES_DIR= -DOLVANE_MODULES_LOAD_DIR=

# Before the test build: every program the tests start comes from a listed package and
# the sources follow the house style. After it, clang-tidy's bug-finding checks
# (.clang-tidy) find nothing; they read the test build's compile commands and need the
# headers that the build generates from the Wayland protocols.
checks: configure-test
	scripts/check-programs.py
	scripts/check-format.sh

build-test: checks
	cmake --build $(TEST_DIR) -j$(JOBS)
	scripts/check-tidy.sh $(TEST_DIR)

test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j$(JOBS) --timeout 600

fuzz: build-test
	for f in router_json binary_message ble_frame token_file http_request_head; do \
		fuzz/run-fuzzer.sh $(TEST_DIR)/fuzz/$${f}_fuzzer $(FUZZ_SECONDS) \
			$(TEST_DIR)/fuzz-work/$${f}_fuzzer || exit 1; \
	done

bench:
	bench/run-all.sh

install: build
	cmake --install $(RELEASE_DIR)

# The Debian package, in $(DEB_DIR): a release build under /usr with Debian's hardening
# flags, its dependencies read from the binary by dpkg-shlibdeps.
deb:
	scripts/install-deps.sh build
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all && \
	cmake -S . -B $(DEB_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr \
		-DCMAKE_C_FLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(DEB_DIR) -j$(JOBS)
	cd $(DEB_DIR) && cpack

clean:
	rm -rf build
