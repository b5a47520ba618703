"""The wheel as a user gets it: installed alone into a fresh virtual environment,
it plans a route, runs its command, type-checks a host with mypy --strict, and
works with the system's libcurl hidden from the loader. `make wheel` builds it
(make test does); without one these tests are skipped."""
import ctypes.util
import glob
import json
import os
import pathlib
import shutil
import subprocess
import sys
import textwrap

import pytest

pytestmark = pytest.mark.wheel

ROOT = pathlib.Path(__file__).resolve().parents[1]
WORLD = ROOT / "tests" / "fixtures" / "navimport" / "world"
sys.path.insert(0, str(ROOT / "tools"))
import gen_navdb  # noqa: E402

# A host as our users write one: the typed record keys, the exports.
HOST = """\
import json
import sys

import core_calc

core_calc.DB_PATH = sys.argv[1]
core_calc.GLOBAL_NETWORK = core_calc.init_network()
result = core_calc.plan_for_api(sys.argv[2], sys.argv[3], report=lambda line: None)
assert result is not None
record = result["plan"]
assert record is not None
distance: float = record["flown_distance_nm"]
names = [w["name"] for w in record["detailed_waypoints"]]
texts = {"icao": core_calc.route_icao(record), "fms": core_calc.route_fms(record),
         "pln": core_calc.route_pln(record), "fpl": core_calc.route_fpl(record),
         "gpx": core_calc.route_gpx(record), "geojson": core_calc.route_geojson(record)}
print(json.dumps({"version": core_calc.__version__, "module": core_calc.__file__,
                  "distance": distance, "waypoints": len(names),
                  "lengths": {k: len(v) for k, v in texts.items()}}))
"""


def run(*args, **kwargs):
    env = {k: v for k, v in os.environ.items() if not k.startswith("PYTHON")}
    return subprocess.run(args, capture_output=True, text=True, timeout=300, env=env, **kwargs)


@pytest.fixture(scope="module")
def venv(tmp_path_factory):
    """A fresh virtual environment with only the wheel installed."""
    wheels = glob.glob(str(ROOT / "build" / "wheel" / "*.whl"))
    if not wheels:
        pytest.skip("no wheel in build/wheel: make wheel builds it")
    (wheel,) = wheels
    path = tmp_path_factory.mktemp("venv") / "env"
    subprocess.run([sys.executable, "-m", "venv", str(path)], check=True, timeout=300)
    python = path / "bin" / "python"
    installed = run(str(python), "-m", "pip", "install", "-q", "--no-index", "--no-deps", wheel)
    assert installed.returncode == 0, installed.stderr
    return path


@pytest.fixture(scope="module")
def demo_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("demo") / "demo.db"
    dep, arr = gen_navdb.generate(str(path), "tiny")["demo_pair"]
    return str(path), dep, arr


def plan_in(venv, demo_db, tmp_path, prefix=()):
    script = tmp_path / "host.py"
    script.write_text(HOST)
    done = run(*prefix, str(venv / "bin" / "python"), str(script), *demo_db, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout.splitlines()[-1])  # after the loading lines


def test_the_installed_wheel_plans_the_demo_route(venv, demo_db, tmp_path):
    got = plan_in(venv, demo_db, tmp_path)
    assert got["module"].startswith(str(venv))  # not the checkout's
    assert got["version"] == "0.1.0"
    assert got["distance"] > 0 and got["waypoints"] > 2
    assert all(length > 0 for length in got["lengths"].values())


def test_the_installed_command_imports(venv, tmp_path):
    done = run(str(venv / "bin" / "core-calc-import"), str(WORLD), "-o", str(tmp_path / "n.db"),
               "-q", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith(f"wrote {tmp_path / 'n.db'} in ")


def test_the_wheel_carries_its_libcurl(venv, demo_db, tmp_path):
    """The system's libcurl made unloadable in a mount namespace of this test alone."""
    libcurl = ctypes.util.find_library("curl")
    unshare = shutil.which("unshare")
    if not libcurl or not unshare:
        pytest.skip("no system libcurl or no unshare")
    system_copy = next((p for p in ("/usr/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib")
                        if os.path.exists(os.path.join(p, libcurl))), None)
    if system_copy is None:
        pytest.skip(f"{libcurl} not found")
    hidden = os.path.join(system_copy, libcurl)
    probe = run(unshare, "--mount", "--propagation", "private", "sh", "-c",
                f"mount --bind /dev/null {hidden} && echo hidden")
    if probe.stdout.strip() != "hidden":
        pytest.skip(f"cannot hide {hidden} here: {probe.stderr.strip()}")
    script = tmp_path / "host.py"
    script.write_text(HOST)
    python = venv / "bin" / "python"
    shell = (f"mount --bind /dev/null {hidden} && "
             f"! {python} -c 'import ctypes; ctypes.CDLL(\"{libcurl}\")' 2>/dev/null && "
             f"exec {python} {script} {' '.join(demo_db)}")
    done = run(unshare, "--mount", "--propagation", "private", "sh", "-c", shell, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert json.loads(done.stdout.splitlines()[-1])["waypoints"] > 2


MISSPELLED = """\
import core_calc

result = core_calc.plan_for_api("EPFO", "UUZS")
if result is not None and result["plan"] is not None:
    print(result["plan"]["flown_distanc_nm"])
"""


def test_mypy_strict_finds_the_stubs(venv, tmp_path):
    """mypy of the development environment, checking against the fresh one."""
    (tmp_path / "host.py").write_text(HOST)
    (tmp_path / "misspelled.py").write_text(MISSPELLED)
    mypy = [sys.executable, "-m", "mypy", "--strict", "--no-incremental",
            "--python-executable", str(venv / "bin" / "python")]
    good = run(*mypy, "host.py", cwd=tmp_path)
    assert good.returncode == 0, good.stdout + good.stderr
    bad = run(*mypy, "misspelled.py", cwd=tmp_path)
    assert bad.returncode == 1
    assert 'has no key "flown_distanc_nm"' in bad.stdout, bad.stdout
