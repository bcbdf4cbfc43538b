# The two entry points of the README: `make demo` and `make test`; `make screenshots` redraws the
# pictures in docs/screenshots.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build demo test screenshots bench bench-footprint package coverage format clean

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

test: build
	@scripts/with-test-env ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The GUI suites save what their windows show when TAMBER_SCREENSHOT_DIR is set.
screenshots: build
	@mkdir -p docs/screenshots
	@TAMBER_SCREENSHOT_DIR=$(CURDIR)/docs/screenshots scripts/with-test-env ctest --test-dir $(BUILD) --output-on-failure -L gui

bench: deps
	@cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMBER_BUILD_TESTS=OFF -DTAMBER_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@$(BUILD)-bench/bench/tamber_bench

# Memory, start-up time and menu cost of the application against a bare tray program, both under
# the test environment (medians of interleaved runs; FOOTPRINT_RUNS, FOOTPRINT_CYCLES).
bench-footprint: deps
	@cmake -S . -B $(BUILD)-footprint -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBER_BUILD_TESTS=OFF -DTAMBER_BUILD_FUZZ=OFF >/dev/null
	@cmake --build $(BUILD)-footprint -j $(JOBS) --target tamber tamber-sso velora-sim bare-tray tray-watch
	@scripts/with-test-env bench/footprint/run-footprint $(BUILD)-footprint

# A Debian package of the application in $(BUILD)/ (install it with apt install ./tamber_*.deb).
package: build
	@cd $(BUILD) && cpack -G DEB

# Line and branch coverage of src/ per folder, with an HTML report in $(BUILD)-coverage/coverage/.
coverage: deps
	@scripts/coverage $(CURDIR)/$(BUILD)-coverage

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-footprint $(BUILD)-coverage
