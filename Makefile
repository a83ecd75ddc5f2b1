# make demo: install what is missing, build, and render the showcase into demo/
# make test: install what is missing, build, run the tests, then run them again
#            under AddressSanitizer and UndefinedBehaviorSanitizer, and fuzz for a while
# make bench: build and run the benchmark
# make install PREFIX=/usr/local: build and install the program, its font, manual page and README
# make deb: build the Debian package in $(BUILD)
BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 120
PREFIX ?= /usr/local

.PHONY: deps build demo test test-plain test-sanitized fuzz bench install deb clean

deps:
	tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	mkdir -p demo
	$(BUILD)/bin/tambrix examples/showcase.prn -out demo/showcase

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitized: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAMBRIX_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS)

fuzz: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBRIX_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzz_interpreter
	fuzz/run $(BUILD)-fuzz/fuzz/fuzz_interpreter $(FUZZ_SECONDS)

test: test-plain test-sanitized fuzz

bench: build
	$(BUILD)/bench/tambrix_bench

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

deb: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz demo
