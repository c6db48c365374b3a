# Quick start: `make run` and `make test`. Both install what is missing, configure and build.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
SANITIZE ?=
JOBS ?= $(shell nproc)

PREFIX ?= /usr/local
WEB_BUILD ?= build-web

PACKAGES := cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev \
    fonts-dejavu-core gerbv librsvg2-bin libpng-dev libjpeg62-turbo-dev libgif-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

ifeq ($(SANITIZE),1)
BUILD := build-sanitize
SANITIZE_FLAGS := -DKELVIQ_SANITIZE=ON
BUILD_TYPE := Debug
endif

.PHONY: all deps configure build run test standalone install package installcheck bench fuzz \
    memcheck format clean web web-test

all: build

# Installs only the packages that are not there yet.
deps:
	@missing=""; for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKELVIQ_WERROR=$(WERROR) $(SANITIZE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@./scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# src/trace and src/plot built on their own by a project that does not look for Qt, and a
# traced picture written in every format checked (tests/standalone).
standalone: deps
	cmake -S tests/standalone -B $(BUILD)-standalone -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)-standalone -j $(JOBS)
	cd $(BUILD)-standalone && ctest --output-on-failure

# The programs, menu entry, icons, AppStream metadata, manual pages and bash completion under
# PREFIX (default /usr/local; DESTDIR is honoured). Uses sudo where PREFIX is not writable.
install: build
	@dir="$(DESTDIR)$(abspath $(PREFIX))"; while [ ! -e "$$dir" ]; do dir=$$(dirname "$$dir"); done; \
	sudo=""; [ -w "$$dir" ] || sudo="$(SUDO)"; \
	echo "Installing into $(DESTDIR)$(abspath $(PREFIX))"; \
	$$sudo env DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(abspath $(PREFIX))"

# A Debian package, kelviq_VERSION_ARCH.deb, in this folder: apt-get install ./kelviq_*.deb
package: EXTRA_PACKAGES += dpkg-dev fakeroot file
package: build
	rm -rf $(BUILD)/package
	cd $(BUILD) && cpack -G DEB -B "$(abspath $(BUILD))/package"
	mv $(BUILD)/package/kelviq_*.deb .

# Installs into a temporary prefix and builds the package, and checks both.
installcheck: EXTRA_PACKAGES += dpkg-dev fakeroot file desktop-file-utils appstream man-db \
    groff-base bash-completion
installcheck: build
	@./tests/install_tree.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-*

# Benchmarks: generates its own pictures, times the converter and the window, prints a table.
bench: build
	@./bench/run.sh $(BUILD)

# Fuzzing for FUZZ_SECONDS (default 60) per target, with Debian's clang and libFuzzer.
fuzz: EXTRA_PACKAGES += clang-14 libclang-rt-14-dev
fuzz: deps
	@./fuzz/run.sh $${FUZZ_SECONDS:-60}

# Valgrind's memcheck on the converter over every picture of the BMP Suite.
memcheck: EXTRA_PACKAGES += valgrind
memcheck: build
	@./tests/memcheck_corpus.sh $(BUILD)

# The web page, built with Debian's emscripten into $(WEB_BUILD)/site: serve that folder.
# emscripten's tools find Debian's acorn only through NODE_PATH when node is not Debian's.
web: EXTRA_PACKAGES += emscripten
web: deps
	NODE_PATH=/usr/share/nodejs emcmake cmake -S web -B $(WEB_BUILD) -G Ninja \
	    -DCMAKE_BUILD_TYPE=Release -DKELVIQ_WERROR=$(WERROR) >/dev/null
	NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j $(JOBS)

# The page in headless Chromium against the converter of $(BUILD): same bytes in every format.
web-test: EXTRA_PACKAGES += emscripten chromium chromium-driver python3-selenium imagemagick
web-test: build web
	/usr/bin/python3 web/test/web_test.py --build $(BUILD) --site $(WEB_BUILD)/site
