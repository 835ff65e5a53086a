# ardoxml: the two everyday commands are `make run` and `make test`.
BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
TSAN_DIR     ?= build-tsan
BENCH_DIR    ?= build-bench
PREFIX       ?= /usr/local
JOBS         ?= 2
GENERATOR    ?= Ninja

DEB_PACKAGES := g++ make cmake ninja-build pkg-config libxml2-dev libxslt1-dev \
                libcurl4-openssl-dev libgtest-dev libgmock-dev libbenchmark-dev valgrind

.PHONY: all deps configure build run test bench sanitize tsan memcheck install clean

all: build

# Installs the Debian packages the build and the tests need, only those missing.
deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds drivecat and lists the bundled sample drive list.
run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target drivecat
	$(BUILD_DIR)/tools/drivecat list

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DARDO_SANITIZE=address,undefined
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SANITIZE_DIR) --output-on-failure

# The engine's tests under ThreadSanitizer: free-threaded documents driven
# from several threads must show no data race.
tsan: deps
	cmake -S . -B $(TSAN_DIR) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARDO_SANITIZE=thread
	cmake --build $(TSAN_DIR) -j $(JOBS) --target engine_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_DIR)/engine_tests

# The engine's tests under valgrind: the sanitizers see only our own code,
# and this sees libxml2 and libxslt reading what the engine freed too. The
# BSTR cache is off so that a freed string is freed.
memcheck: build
	OANOCACHE=1 valgrind -q --error-exitcode=9 --num-callers=30 $(BUILD_DIR)/engine_tests --gtest_brief=1

# Benchmarks, each beside raw libxml2 doing the same work; prints the ratios.
bench: deps
	cmake -S . -B $(BENCH_DIR) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	  -DARDO_BUILD_BENCH=ON -DARDO_BUILD_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS) --target bench_all
	@set -e; for b in $(BENCH_DIR)/bench/*_bench; do echo "== $$b"; $$b; done

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(BENCH_DIR)
