# make demo: install what is missing, build the program and its font, and render the showcase into demo/
# make test: install what is missing, build, run the tests, then run them again
#            under AddressSanitizer and UndefinedBehaviorSanitizer, and under
#            ThreadSanitizer, and fuzz for a while
# make fuzz-output: fuzz the whole page output (PNG files, encoder threads and processes,
#            the PDF and the transcript) for FUZZ_SECONDS; slower, so not part of make test
# make bench: build and run the benchmark
# make install PREFIX=/usr/local: build and install the program, its font, manual page and README
# make deb: build the Debian package in $(BUILD)
# make test-im7: build and test against each ImageMagick 7 in IM7_PREFIXES (by default
#            the copies in ../shared beside the repository, one with integer and one with
#            float quantums), each in build-<folder name>, then check that all builds
#            print the same pixels; a copy that is missing is skipped
# make test-magick MAGICK_PREFIX=<folder>: build and test against the ImageMagick
#            installed in <folder> (the one whose lib/pkgconfig holds Magick++.pc)
BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 120
PREFIX ?= /usr/local
IM7_PREFIXES ?= $(abspath $(CURDIR)/../shared/im7 $(CURDIR)/../shared/im7-hdri)

.PHONY: deps build demo test test-plain test-sanitized test-threads fuzz fuzz-output bench install deb clean test-im7 test-magick

deps:
	tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# The demo builds the program and its font alone, not the tests, the benchmark and the
# samples' generator: a first run takes far less time.
demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS) --target tambrix font_image escp_font
	mkdir -p demo
	$(BUILD)/bin/tambrix examples/showcase.prn -out demo/showcase
	$(BUILD)/bin/tambrix examples/escp_showcase.prn -printer escp -out demo/escp_showcase

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitized: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAMBRIX_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --output-on-failure -j$(JOBS)

test-threads: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBRIX_TSAN=ON
	cmake --build $(BUILD)-tsan -j$(JOBS)
	cd $(BUILD)-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS)

fuzz: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBRIX_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzz_interpreter
	fuzz/run $(BUILD)-fuzz/fuzz/fuzz_interpreter $(FUZZ_SECONDS)

fuzz-output: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBRIX_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzz_output
	fuzz/run $(BUILD)-fuzz/fuzz/fuzz_output $(FUZZ_SECONDS)

test: test-plain test-sanitized test-threads fuzz

test-magick: deps
	@prefix=$(abspath $(MAGICK_PREFIX)); build=$(BUILD)-$(notdir $(abspath $(MAGICK_PREFIX))); \
	if [ -z "$(MAGICK_PREFIX)" ]; then echo "usage: make test-magick MAGICK_PREFIX=<folder>"; exit 2; fi; \
	if [ ! -d "$$prefix/lib/pkgconfig" ]; then echo "No ImageMagick in $$prefix: skipped"; exit 0; fi; \
	set -ex; \
	PKG_CONFIG_PATH=$$prefix/lib/pkgconfig cmake -S . -B $$build -DCMAKE_BUILD_TYPE=RelWithDebInfo; \
	cmake --build $$build -j$(JOBS); \
	cd $$build && ctest --output-on-failure -j$(JOBS)

test-im7: build
	@for prefix in $(IM7_PREFIXES); do $(MAKE) --no-print-directory test-magick MAGICK_PREFIX=$$prefix || exit 1; done
	@binaries=$(BUILD)/bin/tambrix; \
	for prefix in $(IM7_PREFIXES); do \
	  if [ -d "$$prefix/lib/pkgconfig" ]; then binaries="$$binaries $(BUILD)-$$(basename $$prefix)/bin/tambrix"; fi; \
	done; \
	set -x; tools/compare-magick-builds $$binaries

bench: build
	$(BUILD)/bench/tambrix_bench

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

deb: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-tsan $(BUILD)-fuzz $(foreach p,$(IM7_PREFIXES),$(BUILD)-$(notdir $(p))) demo
