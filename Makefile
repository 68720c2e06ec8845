# The front-door commands. Each installs missing Debian packages first.
.PHONY: test demo build install package clean

# Where `make install` puts things; DESTDIR stages them below another root.
PREFIX ?= /usr/local
DESTDIR ?=

# Build everything and run every test (plain, then under ASan/UBSan, then the fuzzer).
test:
	bash scripts/test.sh

# Build, pack a demo medium with setupkit and run the setup wizard from it.
demo:
	bash scripts/demo.sh

# Configure and build the plain tree only.
build:
	bash scripts/build.sh build

# Install setupkit, the setup program it copies onto media, its manual page
# and its bash completion under $(DESTDIR)$(PREFIX).
install:
	bash scripts/install.sh build "$(PREFIX)" "$(DESTDIR)"

# Build the Debian package build/setupkit_VERSION_ARCH.deb.
package:
	bash scripts/package.sh build

clean:
	rm -rf build build-asan build-fuzz
