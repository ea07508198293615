# Two build trees: build/native (the core and its tests against fakes, under
# sanitizers) and build/win (the Windows program and its tests under Wine).
NATIVE := build/native
WIN := build/win
PREFIX := $(WIN)/wineprefix
JOBS ?= 2

.PHONY: all setup native win test run screenshot clean bench

all: native win

setup:
	@scripts/setup

native: setup
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

win: setup
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

test: native win
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

bench: win
	@scripts/wine-prefix $(PREFIX)
	@bench/run $(WIN)

clean:
	rm -rf build
