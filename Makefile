# Velmora: the usual commands. `make demo` and `make test` each do the whole set-up.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

# `make test` also builds and runs these trees, one after another: every test
# with AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency test with
# ThreadSanitizer, and the libFuzzer targets (clang) for FUZZ_SECONDS each. The
# sanitized tree's build runs sanitized tools (the panel's pictures), so it gets
# the same options as its tests.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 45
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
                LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# `make bench`: a tree of its own with the flags of `make build`, the benchmarks, and Calf
# Monosynth playing the same pattern through lv2render (built from $(LV2RENDER_SRC)), summed
# up in one table. Each benchmark warms up first: the first figures of a process run slow.
BENCH_BUILD ?= build-bench
LV2RENDER_SRC ?= ../shared/tools/lv2render
BENCH_ARGS ?=

# `make web`: the instrument in WebAssembly and the page that plays it, in $(WEB_BUILD)/
# (a folder any static server can serve; Emscripten's CMake tree is $(WEB_BUILD)/cmake).
# Debian's Emscripten needs NODE_PATH with a node that is not Debian's own.
WEB_BUILD ?= build-web
WEB_PORT ?= 8000
WEB_ENV = NODE_PATH=/usr/share/nodejs

.PHONY: all deps configure build test demo clean presets-doc test-asan test-tsan test-fuzz endurance bench install-lv2 \
        install uninstall deb check-layers format format-check

all: build

deps:
	@scripts/install-deps.sh

# Ardour, for the tests that play the plug-in in it (label foreign-host); not needed to build.
.PHONY: ardour-deps
ardour-deps:
	@scripts/install-ardour.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DVELMORA_WEB_SITE=$(abspath $(WEB_BUILD)) \
	    > $(BUILD).configure.log 2>&1 || (cat $(BUILD).configure.log; exit 1)

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

# The browser tests (label browser) load the page that `make web` built.
test: build check-layers web ardour-deps
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory test-fuzz

# One include root serves every library, so the layers are checked by reading the includes.
check-layers:
	@python3 scripts/check-layers.py

# The code's layout as .clang-format describes it (not part of `make test`).
SOURCES = $(shell git ls-files '*.cpp' '*.h')
format:
	@clang-format -i $(SOURCES)
format-check:
	@clang-format --dry-run --Werror $(SOURCES) && echo "format-check: $(words $(SOURCES)) files as .clang-format lays them out"

.PHONY: web web-deps web-serve
web-deps:
	@scripts/install-web-deps.sh

web: web-deps
	@$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD)/cmake -DCMAKE_BUILD_TYPE=Release -DVELMORA_SITE=$(abspath $(WEB_BUILD)) \
	    > $(WEB_BUILD).configure.log 2>&1 || (cat $(WEB_BUILD).configure.log; exit 1)
	@$(WEB_ENV) cmake --build $(WEB_BUILD)/cmake -j $(JOBS) -- --no-print-directory
	@echo "The page is in $(WEB_BUILD)/; make web-serve serves it on http://127.0.0.1:$(WEB_PORT)/"

web-serve: web
	@python3 scripts/serve-web.py $(WEB_BUILD) $(WEB_PORT)

test-asan: deps
	@echo "== every test with AddressSanitizer and UndefinedBehaviorSanitizer ($(ASAN_BUILD))"
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DVELMORA_SANITIZE=ON > $(ASAN_BUILD).configure.log 2>&1 || (cat $(ASAN_BUILD).configure.log; exit 1)
	@$(SANITIZER_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS) -- --no-print-directory
	@cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) -LE 'foreign-host|package|browser|sweep'

test-tsan: deps
	@echo "== the concurrency test with ThreadSanitizer ($(TSAN_BUILD))"
	@cmake -S . -B $(TSAN_BUILD) $(CMAKE_FLAGS) -DVELMORA_TSAN=ON > $(TSAN_BUILD).configure.log 2>&1 || (cat $(TSAN_BUILD).configure.log; exit 1)
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_concurrency test_viewframe -- --no-print-directory
	@cd $(TSAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -R '^(Concurrency|ViewFrame)\.'

test-fuzz: deps
	@echo "== the fuzz targets, $(FUZZ_SECONDS) s each ($(FUZZ_BUILD))"
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON > $(FUZZ_BUILD).configure.log 2>&1 || (cat $(FUZZ_BUILD).configure.log; exit 1)
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers -- --no-print-directory
	@$(SANITIZER_ENV) scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# An hour of audio from a random performance, then an hour rendered by `velmora render`
# to a temporary file beside a one-minute render, for peak memory (not part of `make test`);
# ENDURANCE_ARGS="--seconds 600 --seed 2" for other runs.
endurance: build
	@cmake --build $(BUILD) -j $(JOBS) --target endurance -- --no-print-directory
	@$(BUILD)/tests/endurance/endurance $(ENDURANCE_ARGS)

bench: deps
	@scripts/install-bench-deps.sh
	@cmake -S . -B $(BENCH_BUILD) $(CMAKE_FLAGS) -DVELMORA_BENCH=ON \
	    > $(BENCH_BUILD).configure.log 2>&1 || (cat $(BENCH_BUILD).configure.log; exit 1)
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target velmora_bench velmora_instances velmora_lv2_first velmora_lv2 velmora -- --no-print-directory
	@mkdir -p $(BENCH_BUILD)/lv2render
	@cp -p $(LV2RENDER_SRC)/Makefile $(LV2RENDER_SRC)/lv2render.c $(BENCH_BUILD)/lv2render/
	@$(MAKE) -s --no-print-directory -C $(BENCH_BUILD)/lv2render
	@$(BENCH_BUILD)/lv2render/lv2render --write-midi $(BENCH_BUILD)/pattern.mid --seconds 10 > /dev/null
	@cmp -s $(BENCH_BUILD)/pattern.mid tests/data/pattern.mid || \
	    echo "note: lv2render's pattern is not tests/data/pattern.mid, the golden renders' song"
	@echo "Running the benchmarks (a few minutes; $(BENCH_BUILD)/bench.txt has every figure) ..."
	@$(BENCH_BUILD)/bench/velmora_bench --pattern=$(BENCH_BUILD)/pattern.mid --benchmark_min_warmup_time=0.2 \
	    --benchmark_out_format=json \
	    --benchmark_out=$(BENCH_BUILD)/bench.json $(BENCH_ARGS) > $(BENCH_BUILD)/bench.txt
	@python3 bench/report.py --bench-json $(BENCH_BUILD)/bench.json --pattern $(BENCH_BUILD)/pattern.mid \
	    --lv2render $(BENCH_BUILD)/lv2render/lv2render --velmora-lv2 $(abspath $(BENCH_BUILD)/lv2) \
	    --velmora $(BENCH_BUILD)/velmora --lv2-first $(BENCH_BUILD)/bench/velmora_lv2_first \
	    --instances $(BENCH_BUILD)/bench/velmora_instances

# Opt-in: a commit-msg hook that keeps subjects to one line of at most 72 characters.
.PHONY: hooks
hooks:
	@git config core.hooksPath scripts/hooks
	@echo "git now runs scripts/hooks/commit-msg on every commit (git config --unset core.hooksPath undoes it)"

# The LV2 bundle for hosts: copied whole, replacing an older copy.
LV2_INSTALL_DIR ?= $(HOME)/.lv2
install-lv2: build
	@mkdir -p "$(LV2_INSTALL_DIR)"
	@rm -rf "$(LV2_INSTALL_DIR)/velmora.lv2.new"
	@cp -R $(BUILD)/lv2/velmora.lv2 "$(LV2_INSTALL_DIR)/velmora.lv2.new"
	@rm -rf "$(LV2_INSTALL_DIR)/velmora.lv2"
	@mv "$(LV2_INSTALL_DIR)/velmora.lv2.new" "$(LV2_INSTALL_DIR)/velmora.lv2"
	@echo "Installed $(LV2_INSTALL_DIR)/velmora.lv2"

# `make install` lays out what `make` built under $(DESTDIR)$(PREFIX): bin/velmora, lib/velmora,
# lib/lv2/velmora.lv2, share/... (cmake/Install.cmake). As root (sudo make install) it builds
# nothing: the tree must be built already. `make uninstall` removes every file it installed
# (give it the same PREFIX and DESTDIR). `make deb` makes $(BUILD)/velmora_VERSION_ARCH.deb.
PREFIX ?= /usr/local
install: $(if $(filter 0,$(shell id -u)),,build)
	@test -x $(BUILD)/velmora || { echo "nothing built in $(BUILD)/: run make first"; exit 1; }
	@rm -f $(BUILD)/install_manifest.txt
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
uninstall:
	@DESTDIR="$(DESTDIR)" scripts/uninstall.sh $(BUILD) "$(PREFIX)"
deb: build
	@scripts/make-deb.sh $(BUILD) $(BUILD)

# docs/presets.md from the presets' values and their measured audition (not part of the build).
presets-doc: build
	@python3 scripts/presets-doc.py $(BUILD)/velmora docs/presets.md

demo: build
	@$(BUILD)/velmora render examples/demo.mid demo.wav

clean:
	rm -rf $(BUILD) $(BUILD).configure.log $(ASAN_BUILD) $(ASAN_BUILD).configure.log $(TSAN_BUILD) \
	       $(TSAN_BUILD).configure.log $(FUZZ_BUILD) $(FUZZ_BUILD).configure.log \
	       $(BENCH_BUILD) $(BENCH_BUILD).configure.log $(WEB_BUILD) $(WEB_BUILD).configure.log
