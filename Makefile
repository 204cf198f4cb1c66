# The two set-up commands: `make run` and `make test`. `make bench` runs the benchmarks;
# `make package` builds the Debian package (build/kolvane_VERSION_ARCH.deb).
JOBS        ?= $(shell nproc)
BUILD       ?= build
TEST_BUILD  ?= build-test
CMAKE_GEN   := -G Ninja

.PHONY: run test bench build build-test package deps format clean

deps:
	@scripts/install-deps

run:
	$(if $(DISPLAY)$(WAYLAND_DISPLAY),,$(error kolvane: a desktop session is needed (neither DISPLAY nor WAYLAND_DISPLAY is set)))
	@$(MAKE) --no-print-directory build
	./$(BUILD)/kolvane

# Configured for /usr, the package's layout; `cmake --install build --prefix DIR`
# installs anywhere else.
build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKOLVANE_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

package: build
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@ls $(BUILD)/kolvane_*.deb

build-test: deps
	@cmake -S . -B $(TEST_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKOLVANE_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)

test: build-test
	cd $(TEST_BUILD) && ctest -j $$(( $(JOBS) * 2 )) --output-on-failure --timeout 300

bench:
	@scripts/install-deps --bench
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKOLVANE_TESTS=OFF -DKOLVANE_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target benchmarks kolvane kolvane-tool
	@scripts/run-benchmarks $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
