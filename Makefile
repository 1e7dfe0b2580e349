.PHONY: test run bench build clean

build:
	scripts/setup
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build -j$$(nproc)

test:
	scripts/test

run:
	scripts/run

bench: build
	scripts/bench

clean:
	rm -rf build
