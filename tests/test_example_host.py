"""The example API host, run as our users run it and queried over HTTP."""
import json
import os
import queue
import re
import subprocess
import sys
import threading
import urllib.error
import urllib.parse
import urllib.request

import pytest

import core_calc

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import gen_navdb  # noqa: E402

HOST_SCRIPT = os.path.join(ROOT, "examples", "api_host.py")
START_TIMEOUT = 120  # seconds; only a guard against a host that never comes up
REQUEST_TIMEOUT = 120


class Host:
    """The host as a subprocess; its output is drained so it never blocks on it."""

    def __init__(self, *args):
        env = dict(os.environ)
        # the same core_calc build as this test run
        module_dir = os.path.dirname(os.path.abspath(core_calc.__file__))
        env["PYTHONPATH"] = os.pathsep.join(p for p in (module_dir, env.get("PYTHONPATH")) if p)
        env["PYTHONUNBUFFERED"] = "1"
        self.process = subprocess.Popen([sys.executable, HOST_SCRIPT, *args], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, encoding="utf-8", errors="replace")
        self.lines = queue.Queue()
        self.output = []
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def _drain(self):
        for line in self.process.stdout:
            self.output.append(line)
            self.lines.put(line)
        self.lines.put(None)

    def wait_for_port(self):
        while True:
            line = self.lines.get(timeout=START_TIMEOUT)
            if line is None:
                raise AssertionError("host ended before listening:\n" + "".join(self.output))
            match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\s*", line)
            if match:
                return int(match.group(1))

    def wait_for_exit(self):
        try:
            code = self.process.wait(timeout=START_TIMEOUT)
            self.reader.join(timeout=START_TIMEOUT)
            return code
        finally:
            self.stop()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


@pytest.fixture(scope="module")
def tiny_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("navdb") / "tiny.db"
    summary = gen_navdb.generate(str(path), "tiny")
    return str(path), tuple(summary["demo_pair"])


@pytest.fixture(scope="module")
def host(tiny_db):
    path, _ = tiny_db
    server = Host("--db", path, "--port", "0")
    try:
        port = server.wait_for_port()
        yield f"http://127.0.0.1:{port}"
    finally:
        server.stop()


def get(url, method="GET"):
    """(status, decoded JSON body, content type) of one request."""
    request = urllib.request.Request(url, method=method)
    try:
        with urllib.request.urlopen(request, timeout=REQUEST_TIMEOUT) as response:
            return response.status, json.loads(response.read() or b"null"), \
                response.headers["Content-Type"]
    except urllib.error.HTTPError as error:
        with error:
            return error.code, json.loads(error.read() or b"null"), \
                error.headers["Content-Type"]


def plan_url(base, **params):
    return f"{base}/plan?{urllib.parse.urlencode(params)}"


def in_process(path, dep, arr, **forced):
    """The API record the module gives for the same request in this process."""
    core_calc.DB_PATH = path
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    best, _ = core_calc.generate_flight_plan(dep, arr, **forced)
    return json.loads(json.dumps(core_calc.format_for_api(best)))


def test_planned_route_equals_the_module_record(host, tiny_db):
    path, (dep, arr) = tiny_db
    status, body, content_type = get(plan_url(host, dep=dep, arr=arr))
    assert (status, content_type) == (200, "application/json; charset=utf-8")
    assert body == in_process(path, dep, arr)
    assert body["route_string"].startswith(dep + " ")
    assert body["route_string"].endswith(" " + arr)


def test_lower_case_codes_plan_the_same_route(host, tiny_db):
    path, (dep, arr) = tiny_db
    assert get(plan_url(host, dep=dep.lower(), arr=arr.lower()))[1] == in_process(path, dep, arr)


def forced_choices(path, dep, arr):
    """Forced values taken from the free plan and the airports' runways."""
    free = in_process(path, dep, arr)
    dep_runways, _ = core_calc.get_best_runway_and_wind(dep)
    arr_runways, _ = core_calc.get_best_runway_and_wind(arr)
    return {
        "sid": ("forced_sid", free["procedures"]["sid"]),
        "star": ("forced_star", free["procedures"]["star"]),
        "iap": ("forced_iap", free["procedures"]["iap"]),
        "dep_rwy": ("forced_dep_rwy", dep_runways[-1]),
        "arr_rwy": ("forced_arr_rwy", arr_runways[-1]),
    }


@pytest.mark.parametrize("forced", [
    ("sid",), ("star",), ("iap",), ("dep_rwy",), ("dep_rwy", "arr_rwy"),
    ("sid", "star", "iap", "dep_rwy", "arr_rwy"),
])
def test_forced_parameters_reach_the_planner(host, tiny_db, forced):
    path, (dep, arr) = tiny_db
    choices = forced_choices(path, dep, arr)
    params = {name: choices[name][1] for name in forced}
    expected = in_process(path, dep, arr, **{choices[n][0]: v for n, v in params.items()})
    status, body, _ = get(plan_url(host, dep=dep, arr=arr, **params))
    if expected is None:
        assert (status, body) == (404, {"success": False, "message": "No route found"})
    else:
        assert (status, body) == (200, expected)
    if "dep_rwy" in params and expected:
        assert body["dep_runway"] == params["dep_rwy"]
    if "sid" in params and expected:
        assert body["procedures"]["sid"] == params["sid"]


@pytest.mark.parametrize("query, message", [
    ("arr=LKWQ", "missing parameter 'dep'"),
    ("dep=LOGS", "missing parameter 'arr'"),
    ("", "missing parameter 'dep'"),
    ("dep=&arr=LKWQ", "missing parameter 'dep'"),
    ("dep=LO&arr=LKWQ", "3 to 8 letters or digits"),
    ("dep=LOGSLOGSX&arr=LKWQ", "3 to 8 letters or digits"),
    ("dep=LO-S&arr=LKWQ", "3 to 8 letters or digits"),
    ("dep=LOGS&arr=%C3%89PFO", "3 to 8 letters or digits"),
    ("dep=LOGS&arr=LK%20WQ", "3 to 8 letters or digits"),
    ("dep=LOGS&arr=LOGS", "must differ"),
    ("dep=LOGS&dep=LKWQ&arr=LKWQ", "more than once"),
    ("dep=LOGS&arr=LKWQ&sid_name=X", "unknown parameter 'sid_name'"),
    ("dep=LOGS&arr=LKWQ&dep_rwy=RW%2009", "runway"),
    ("dep=LOGS&arr=LKWQ&sid=%27%3B--", "procedure name"),
    ("dep=LOGS&arr=%FF%FE", "malformed query"),
])
def test_malformed_requests_are_400_with_a_message(host, query, message):
    status, body, content_type = get(f"{host}/plan?{query}")
    assert (status, content_type) == (400, "application/json; charset=utf-8")
    assert body["success"] is False
    assert message in body["message"]


@pytest.mark.parametrize("params", [
    {"dep": "QQQQ", "arr": "YYYY"},  # airports the database does not know
    {"sid": "NOSUCH1A"},  # a forced SID the departure airport does not have
])
def test_no_route_is_404(host, tiny_db, params):
    _, (dep, arr) = tiny_db
    status, body, _ = get(plan_url(host, **{"dep": dep, "arr": arr, **params}))
    assert status == 404
    assert body == {"success": False, "message": "No route found"}


@pytest.mark.parametrize("path", ["/", "/plans?dep=LOGS&arr=LKWQ", "/plan/LOGS", "/favicon.ico"])
def test_unknown_paths_are_404_json(host, path):
    status, body, content_type = get(host + path)
    assert (status, content_type) == (404, "application/json; charset=utf-8")
    assert body["success"] is False and "unknown path" in body["message"]


def test_other_methods_are_405(host, tiny_db):
    _, (dep, arr) = tiny_db
    status, body, _ = get(plan_url(host, dep=dep, arr=arr), method="POST")
    assert status == 405
    assert body["success"] is False


@pytest.mark.concurrency
def test_concurrent_requests_each_get_their_own_runways(host, tiny_db):
    path, (dep, arr) = tiny_db
    expected = {(dep, arr): in_process(path, dep, arr), (arr, dep): in_process(path, arr, dep)}
    results = []

    def ask(pair):
        results.append((pair, get(plan_url(host, dep=pair[0], arr=pair[1]))))

    threads = [threading.Thread(target=ask, args=(pair,)) for pair in list(expected) * 3]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(results) == len(threads)
    for pair, (status, body, _) in results:
        assert status == 200
        assert body == expected[pair]


def test_missing_database_stops_the_host(tmp_path):
    server = Host("--db", str(tmp_path / "absent.db"), "--port", "0")
    assert server.wait_for_exit() != 0
    assert "no navigation database" in "".join(server.output)
