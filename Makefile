# The front-door commands. Each installs missing Debian packages first.
.PHONY: test lint demo build install package clean

# Where `make install` puts things; DESTDIR stages them below another root.
PREFIX ?= /usr/local
DESTDIR ?=

# Build everything and run every test (plain, then under ASan/UBSan, then the fuzzer).
test:
	bash scripts/test.sh

# The static checks: formatting, clang-tidy, shellcheck (scripts/lint.sh).
# clang-tidy reads the flags of build/, which this configures first.
lint:
	bash scripts/install-deps.sh
	bash scripts/build.sh build
	bash scripts/lint.sh build

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
	rm -rf build build-asan build-tsan build-fuzz
