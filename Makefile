# make test   installs what is missing, builds both presets, runs every test
# make run    builds and starts Sestor.exe under Wine (in a browser without a display)
# make bench  times the generator against dd and fprintf, natively and under Wine
# make bench-run  a full run through the real dialog under Wine, against dd
# make soak   the gate again and again: RUNS=30 BUSY=half|all|none WHAT=make-run|wine|native|gate
# make dist   the release: dist/Sestor-VERSION.zip (exe, LEGGIMI.txt, IMPRONTE.txt, SHA256SUMS.txt)
SHELL := /bin/sh
WINEPREFIX := $(CURDIR)/build/wineprefix
export WINEPREFIX
export WINEDEBUG := -all
export LC_ALL := C.UTF-8

.PHONY: test run bench bench-run deps prefix native windows screenshot dist soak

deps:
	@scripts/install-deps.sh

prefix: deps
	@scripts/wine-prefix.sh $(WINEPREFIX)

native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native

windows: deps
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows

test: native windows prefix
	ctest --preset native
	scripts/with-display.sh ctest --preset windows
	scripts/check-reproducible.sh
	tests/make-run.sh

soak: native windows prefix
	tests/soak.sh $(or $(RUNS),30) $(or $(BUSY),half) $(or $(WHAT),make-run)

run: windows prefix
	@scripts/run.sh build/windows/Sestor.exe

bench: native windows prefix
	bench/run-bench.sh $(BENCH_ARGS)

bench-run: native windows prefix
	scripts/with-display.sh bench/run-dialog-bench.sh $(BENCH_ARGS)

dist: deps
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target Sestor
	scripts/make-dist.sh

screenshot: windows prefix
	scripts/with-display.sh scripts/screenshot.sh docs/sestor.png
	scripts/with-display.sh scripts/screenshot.sh docs/sestor-150.png 150
