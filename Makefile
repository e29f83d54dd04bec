# Quick start: `make run` builds and starts the agent, `make test` builds with
# sanitizers and runs every test. Both install missing Debian packages first.
JOBS ?= 2
RELEASE_DIR := build/release
TEST_DIR := build/sanitize

.PHONY: run test build build-test install clean

run: build
	./$(RELEASE_DIR)/olvane-helper

build:
	scripts/install-deps.sh build
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(RELEASE_DIR) -j$(JOBS)

build-test:
	scripts/install-deps.sh test
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLVANE_SANITIZE=ON \
		-DOLVANE_BENCH=ON
	cmake --build $(TEST_DIR) -j$(JOBS)

test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j$(JOBS) --timeout 600

install: build
	cmake --install $(RELEASE_DIR)

clean:
	rm -rf build
