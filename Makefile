# Entry points: `make demo`, `make test`, `make bench`. Each installs what is
# missing first (as root, on Debian 12).
.PHONY: deps build demo test test-host test-win64 test-win32 bench clean

deps:
	@scripts/deps.sh

build: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

# The i686 program where this kernel runs 32-bit programs, else the x86_64
# build (scripts/demo.sh builds the one it shows).
demo: deps
	scripts/demo.sh

test-host: deps
	@rm -f build/host/ctest-results.xml
	cmake --preset host >/dev/null
	cmake --build --preset host
	ctest --preset host -j3 --output-junit ctest-results.xml

test-win64: deps
	@rm -f build/win64/ctest-results.xml
	cmake --preset win64 >/dev/null
	cmake --build --preset win64
	ctest --preset win64 -j3 --output-junit ctest-results.xml

test-win32: deps
	@rm -f build/win32/ctest-results.xml
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	ctest --preset win32 -j3 --output-junit ctest-results.xml

# All three trees even when one fails, then the table of what each suite
# drove; fails when a suite failed or no end-to-end suite ran.
test:
	@status=0; \
	$(MAKE) --no-print-directory -k test-host test-win64 test-win32 || status=1; \
	scripts/test-summary.py build || status=1; \
	exit $$status

bench: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cmake --preset win64 >/dev/null
	cmake --build --preset win64
	scripts/bench.sh

clean:
	rm -rf build
