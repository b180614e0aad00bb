# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands of the README's quick start are `make run` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_ARGS ?=
# Warnings are errors in every build made from here.
WERROR   := -DNURA_WERROR=ON
DEMO     := $(BUILD)/demo-card

.PHONY: all deps configure build run demo test bench fuzz asan format format-check clean package install screenshots

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

demo: build
	@scripts/make-demo-card $(BUILD) $(DEMO)

# Opens the viewer on the demo card; with no display it runs on a virtual one,
# saves a screenshot of the main window and exits.
run: demo
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    $(BUILD)/nura-viewer $(DEMO); \
	else \
	    xvfb-run -a -s "-screen 0 1280x800x24" $(BUILD)/nura-viewer --screenshot $(BUILD)/screenshot.png --quit-after 4 $(DEMO) && \
	    echo "No display: the main window was drawn on a virtual display and saved as $(BUILD)/screenshot.png"; \
	fi

test: build format-check
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS) --timeout 600

# The README's pictures in docs/images, drawn again from the demo card on a virtual display, offline.
screenshots: demo
	@scripts/make-screenshots $(BUILD) docs/images

# A Debian package of both programs in $(BUILD)/, with the run-time packages in its Depends line.
package: build
	@cd $(BUILD) && cpack -G DEB

# Installs under PREFIX (/usr/local); DESTDIR stages it elsewhere.
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -f $$b ] && [ -x $$b ] || continue; echo "== $$b"; $$b || exit 1; done
	@echo "== bench/list_command.py"; python3 bench/list_command.py $(BUILD)/nura
	@echo "== bench/repair_speed.py"; python3 bench/repair_speed.py $(BUILD)
	@echo "== bench/playback_cpu.py"; xvfb-run -a -s "-screen 0 3300x1200x24" python3 bench/playback_cpu.py $(BUILD)
	@echo "== bench/package_size.py"; python3 bench/package_size.py $(BUILD)
	@echo "== bench/clip_speed.py"; python3 bench/clip_speed.py $(BUILD)

# Runs each fuzz target for a short time (FUZZ_SECONDS each) over its corpus, under a memory limit.
# Inputs stay small so that every reader runs a million or more of them in ten minutes; the telemetry
# reader's bounds (36,000 records, 8 GPS states each) are held by its unit tests instead.
FUZZ_SECONDS ?= 60
FUZZ_RSS_LIMIT_MB ?= 512
FUZZ_READER_MAX_LEN ?= 8192
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DNURA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzz_telemetry_reader fuzz_nmea fuzz_media_walk fuzz_drive_records
	@rm -f $(BUILD)-fuzz/corpus/fuzz_telemetry_reader/bound_seed
	@for f in $(BUILD)-fuzz/fuzz/fuzz_*; do \
	    name=$$(basename $$f); mkdir -p $(BUILD)-fuzz/corpus/$$name; \
	    case $$name in fuzz_telemetry_reader) len=$(FUZZ_READER_MAX_LEN);; fuzz_media_walk) len=16384;; *) len=4096;; esac; \
	    echo "== $$name (max_len $$len, rss_limit_mb $(FUZZ_RSS_LIMIT_MB))"; \
	    $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=$(FUZZ_RSS_LIMIT_MB) -max_len=$$len \
	        -print_final_stats=1 $(BUILD)-fuzz/corpus/$$name fuzz/corpus/$$name >$(BUILD)-fuzz/$$name.log 2>&1; \
	    status=$$?; tail -12 $(BUILD)-fuzz/$$name.log; [ $$status -eq 0 ] || exit 1; \
	done

# The core, the command line and the media helper once more under AddressSanitizer and
# UndefinedBehaviorSanitizer: the core tests and the script tests of nura and nura-media (the viewer is
# left out, and with it the disk-service helper that `nura card list` needs: Qt and libVLC are not built
# with the sanitizers). CI runs it after `make test`.
ASAN_BUILD := $(BUILD)-asan
asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DNURA_SANITIZE=ON -DNURA_WITH_UI=OFF -DCMAKE_BUILD_TYPE=Debug $(WERROR) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j$(JOBS) --timeout 900 -E '^cli_card_test$$'

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)
format:
	@clang-format -i $(FORMAT_FILES)

format-check:
	@clang-format --dry-run -Werror $(FORMAT_FILES)

clean:
	@rm -rf $(BUILD) $(BUILD)-fuzz $(BUILD)-asan
