# The two commands a new user needs: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps deps-run configure configure-run build run test bench clean

# `make run` installs and builds only what the program needs; `make test`
# adds everything the tests and benchmarks need.
deps-run:
	@bash scripts/install-deps.sh run

deps:
	@bash scripts/install-deps.sh test

configure-run: deps-run
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: configure-run
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target veltrano
	@bash scripts/run.sh $(BUILD_DIR)/veltrano

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@bash scripts/bench.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
