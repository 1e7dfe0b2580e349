.PHONY: test run bench build clean test-sanitizers test-asan test-tsan fuzz

# Every build flavour is a preset of CMakePresets.json (cmake --list-presets).
build:
	scripts/setup
	cmake --preset default >/dev/null
	cmake --build --preset default -j$$(nproc)

test:
	scripts/test

run:
	scripts/run

bench: build
	scripts/bench

# The whole client for MINUTES minutes (default 10); not part of make test.
.PHONY: soak
MINUTES ?= 10
soak: build
	scripts/soak $(MINUTES)

# N simulated machines (default 1000) against one local mining-service on 127.0.0.1,
# BURSTS burst seconds of reports (default 5); not part of make test. DB=postgresql runs
# INSTANCES services (default 2) on one database of a private PostgreSQL server instead.
.PHONY: bench-fleet
N ?= 1000
BURSTS ?= 5
DB ?= sqlite
INSTANCES ?= 2
bench-fleet:
	scripts/setup $(if $(filter postgresql,$(DB)),postgresql)
	cmake --preset default >/dev/null
	cmake --build --preset default -j$$(nproc) --target mining-fleet
ifeq ($(DB),postgresql)
	scripts/fleet-on-postgres --machines $(N) --bursts $(BURSTS) --instances $(INSTANCES)
else
	build/bench/mining-fleet --machines $(N) --bursts $(BURSTS)
endif

# The listeners under slow senders, header floods and a close with hung viewers: figures
# for mining-service (plain and TLS) and kestravon-minerd's view; not part of make test.
.PHONY: bench-doors
bench-doors:
	scripts/setup
	cmake --preset default >/dev/null
	cmake --build --preset default -j$$(nproc) --target doors-bench
	build/bench/doors-bench

# Every preset's build folder.
BUILD_DIRS = $(shell python3 -c 'import json; print(*sorted({p["binaryDir"].replace("$${sourceDir}/", "") for p in json.load(open("CMakePresets.json"))["configurePresets"] if "binaryDir" in p}))')
clean:
	rm -rf $(BUILD_DIRS)

test-sanitizers:
	scripts/test-sanitizers address thread

test-asan:
	scripts/test-sanitizers address

test-tsan:
	scripts/test-sanitizers thread

fuzz:
	scripts/fuzz 60

# The native Windows client, cross-built with mingw-w64: build-win/QX_CLIENT.exe.
.PHONY: windows test-windows
windows:
	scripts/setup-windows
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j$$(nproc) --target QX_CLIENT

# Its tests under Wine (builds the Linux mining-service first when missing).
test-windows:
	scripts/test-windows

# Its pass rate under Wine: the Win32 window mining against a local mining-service.
.PHONY: bench-windows
bench-windows:
	scripts/bench-windows

# Packages: the Debian package (build/package/kestravon-miner_<version>_amd64.deb, checked
# with lintian and appstreamcli) and the Windows zip (build-win/package/QX_CLIENT-<version>-win64.zip).
.PHONY: package package-windows test-package
package:
	scripts/package

package-windows:
	scripts/package-windows

# Installs the package, runs it and removes it again: only as root on a throwaway machine.
test-package:
	scripts/test-package
