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

demo: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	scripts/demo.sh

test-host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host
	ctest --preset host -j3

test-win64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64
	ctest --preset win64 -j2

test-win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	ctest --preset win32 -j3

test: test-host test-win64 test-win32

bench: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cmake --preset win64 >/dev/null
	cmake --build --preset win64
	scripts/bench.sh

clean:
	rm -rf build
