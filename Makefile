# Two build trees: build/native (the core and its tests against fakes, under
# sanitizers) and build/win (the Windows program and its tests under Wine).
NATIVE := build/native
WIN := build/win
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
PREFIX := $(WIN)/wineprefix
JOBS ?= 2

.PHONY: all setup lint native win test run screenshot clean bench fuzz

all: native win

setup:
	@scripts/setup

native: setup
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

win: setup
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

# Every C++ file follows .clang-format; make test fails first on one that does not.
lint: setup
	@scripts/lint

test: lint native win
	@scripts/run-tests $(NATIVE) $(WIN)

# The release archive, built with the Windows tree, copied to dist/.
.PHONY: dist
dist: win
	@mkdir -p dist && rm -f dist/Querna-*-win64.zip
	@cp $(WIN)/dist/Querna-*-win64.zip dist/ && ls dist/Querna-*-win64.zip

run: win
	@QUERNA_SCREENSHOT_TOOLS=1 scripts/setup
	@scripts/run $(WIN)

screenshot: win
	@QUERNA_SCREENSHOT_TOOLS=1 scripts/setup
	@scripts/screenshot $(WIN)

# The fuzz targets of tests/fuzz as libFuzzer programs (clang, ASan, UBSan),
# each run for FUZZ_SECONDS from the committed seeds and the fixture documents.
fuzz:
	@QUERNA_FUZZ_TOOLS=1 scripts/setup
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ) -DQUERNA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ) -j$(JOBS) --target $$(cat $(FUZZ)/fuzz-targets.txt)
	@scripts/run-fuzz $(FUZZ) $(FUZZ_SECONDS)

bench: win
	@QUERNA_BENCH_TOOLS=1 scripts/setup
	@scripts/wine-prefix $(PREFIX)
	@bench/run $(WIN)
	@bench/office $(WIN)
	@bench/formats $(WIN)

clean:
	rm -rf build
