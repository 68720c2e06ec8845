# The two front-door commands. Both install missing Debian packages first.
.PHONY: test demo build clean

# Build everything and run every test (plain, then under ASan/UBSan, then the fuzzer).
test:
	bash scripts/test.sh

# Build, pack a demo medium with setupkit and run the setup wizard from it.
demo:
	bash scripts/demo.sh

# Configure and build the plain tree only.
build:
	bash scripts/build.sh build

clean:
	rm -rf build build-asan build-fuzz
