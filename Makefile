# The two commands a new user needs: `make run` and `make test`.
.PHONY: run test deps build build-asan package bench fuzz clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan

# build/default/tesvano_<version>-1_amd64.deb (then: apt install ./build/default/tesvano_*.deb)
package: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target tesvano_installable
	cd build/default && cpack -G DEB

run: build
	./build/default/bin/tesvano

test: build build-asan
	ctest --preset default
	ctest --preset asan
	scripts/run-fuzz 60 20

fuzz: deps
	scripts/run-fuzz $(or $(FUZZ_SECONDS),600)

bench: build
	scripts/run-benchmarks

clean:
	rm -rf build
