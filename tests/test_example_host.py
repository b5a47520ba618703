"""The example API host, run as our users run it and queried over HTTP."""
import http.server
import json
import os
import queue
import re
import sqlite3
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request
from xml.etree import ElementTree

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


ISLAND = "ISLE"  # an airport with a reference point only, far from every airway
ALLOW = "GET, HEAD, OPTIONS"
JSON_TYPE = "application/json; charset=utf-8"


@pytest.fixture(scope="module")
def tiny_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("navdb") / "tiny.db"
    summary = gen_navdb.generate(str(path), "tiny")
    with sqlite3.connect(path) as conn:
        conn.execute("INSERT INTO airports VALUES (?, 'ISLAND', -40.0, -140.0)", (ISLAND,))
    conn.close()
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


def fetch(url, method="GET"):
    """(status, headers, body bytes) of one request."""
    request = urllib.request.Request(url, method=method)
    try:
        with urllib.request.urlopen(request, timeout=REQUEST_TIMEOUT) as response:
            return response.status, response.headers, response.read()
    except urllib.error.HTTPError as error:
        with error:
            return error.code, error.headers, error.read()


def get(url, method="GET"):
    """(status, decoded JSON body, content type) of one request."""
    status, headers, body = fetch(url, method)
    return status, json.loads(body or b"null"), headers["Content-Type"]


def plan_url(base, path="/plan", **params):
    return f"{base}{path}?{urllib.parse.urlencode(params)}"


def in_process(path, dep, arr, **forced):
    """plan_for_api's result for the same request in this process, as JSON gives it back."""
    core_calc.DB_PATH = path
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    result = core_calc.plan_for_api(dep, arr, report=lambda line: None, **forced)
    return json.loads(json.dumps(result))


def answer_of(result, warnings=()):
    """The host's body for a plan_for_api result that has a plan."""
    return {**result["plan"], "alternatives": result["alternatives"], "warnings": list(warnings)}


def test_planned_route_is_the_record_with_its_alternatives(host, tiny_db):
    path, (dep, arr) = tiny_db
    status, body, content_type = get(plan_url(host, dep=dep, arr=arr))
    assert (status, content_type) == (200, JSON_TYPE)
    assert body == answer_of(in_process(path, dep, arr))
    assert body["route_string"].startswith(dep + " ")
    assert body["route_string"].endswith(" " + arr)


def test_lower_case_codes_plan_the_same_route(host, tiny_db):
    path, (dep, arr) = tiny_db
    body = get(plan_url(host, dep=dep.lower(), arr=arr.lower()))[1]
    assert body == answer_of(in_process(path, dep, arr))


def forced_choices(path, dep, arr):
    """Forced values taken from the free plan and the airports' runways."""
    free = in_process(path, dep, arr)["plan"]
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
    if expected["plan"] is None:
        assert (status, body["message"]) == (404, "No route found")
        return
    assert (status, body) == (200, answer_of(expected))
    if "dep_rwy" in params:
        assert body["runways"]["departure"] == params["dep_rwy"]
    if "sid" in params:
        assert body["procedures"]["sid"] == params["sid"]


STAR_WARNING = "forced STAR 'NOSUCH1A' not found at {arr}; planned without it"
IAP_WARNING = "forced approach 'X99' not found at {arr}; planned without it"


@pytest.mark.parametrize("params, status, warnings", [
    ({"star": "NOSUCH1A"}, 200, [STAR_WARNING]),  # planned with a direct arrival
    ({"star": "{star}", "iap": "X99"}, 200, [IAP_WARNING]),  # planned on the STAR alone
    ({"star": "NOSUCH1A", "iap": "X99"}, 404, [STAR_WARNING, IAP_WARNING]),  # nothing to fly
])
def test_forced_procedure_not_found_is_a_warning(host, tiny_db, params, status, warnings):
    path, (dep, arr) = tiny_db
    free_star = in_process(path, dep, arr)["plan"]["procedures"]["star"]
    params = {k: v.format(star=free_star) for k, v in params.items()}
    expected = in_process(path, dep, arr, **{"forced_" + k: v for k, v in params.items()})
    warnings = [w.format(arr=arr) for w in warnings]
    answer = get(plan_url(host, dep=dep, arr=arr, **params))[:2]
    if status == 200:
        assert answer == (200, answer_of(expected, warnings))
    else:
        assert expected["plan"] is None
        assert answer == (404, {"success": False, "message": "No route found",
                                "warnings": warnings})


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
@pytest.mark.parametrize("path", ["/plan", "/plan.fms"])
def test_malformed_requests_are_400_with_a_message(host, path, query, message):
    status, body, content_type = get(f"{host}{path}?{query}")
    assert (status, content_type) == (400, JSON_TYPE)
    assert body["success"] is False
    assert message in body["message"]


@pytest.mark.parametrize("params, message, warnings", [
    ({"dep": "QQQQ"}, "unknown departure airport QQQQ", None),
    ({"arr": "QQQQ"}, "unknown arrival airport QQQQ", None),
    ({"dep": "QQQQ", "arr": "YYYY"}, "unknown departure airport QQQQ", None),
    ({"arr": ISLAND}, "No route found", []),  # known, but no airway within reach
    ({"dep": ISLAND}, "No route found", []),
    ({"sid": "NOSUCH1A"}, "No route found", ["forced SID 'NOSUCH1A' not found at {dep}"]),
])
@pytest.mark.parametrize("path", ["/plan", "/plan.gpx"])
def test_unknown_airport_and_no_route_are_404_apart(host, tiny_db, path, params, message,
                                                    warnings):
    _, (dep, arr) = tiny_db
    status, body, content_type = get(plan_url(host, path, **{"dep": dep, "arr": arr, **params}))
    assert (status, content_type) == (404, JSON_TYPE)
    expected = {"success": False, "message": message}
    if warnings is not None:
        expected["warnings"] = [w.format(dep=dep) for w in warnings]
    assert body == expected


@pytest.mark.parametrize("path", ["/", "/plans?dep=LOGS&arr=LKWQ", "/plan/LOGS", "/favicon.ico",
                                  "/plan.kml?dep=LOGS&arr=LKWQ"])
def test_unknown_paths_are_404_json(host, path):
    status, body, content_type = get(host + path)
    assert (status, content_type) == (404, JSON_TYPE)
    assert body["success"] is False and "unknown path" in body["message"]


FMS_WAYPOINT = re.compile(r"(1|2|3|11|28) (\S+) (\S+) 0\.000000 (-?\d+\.\d{6}) (-?\d+\.\d{6})")


def exported_positions(kind, text):
    """The waypoint positions (lat, lon) of an export, parsed by its own grammar."""
    if kind == "geojson":
        features = json.loads(text)["features"]
        line = [f for f in features if f["geometry"]["type"] == "LineString"]
        points = [f["geometry"]["coordinates"] for f in features if f["geometry"]["type"] == "Point"]
        assert line[0]["geometry"]["coordinates"] == points
        return [(lat, lon) for lon, lat in points]
    if kind == "gpx":
        ns = "{http://www.topografix.com/GPX/1/1}"
        rte = ElementTree.fromstring(text).find(ns + "rte")
        return [(float(p.get("lat")), float(p.get("lon"))) for p in rte.iter(ns + "rtept")]
    lines = text.splitlines()
    assert lines[:2] == ["I", "1100 Version"]
    count = next(int(line.split()[1]) for line in lines if line.startswith("NUMENR "))
    rows = [FMS_WAYPOINT.fullmatch(line) for line in lines[lines.index(f"NUMENR {count}") + 1:]]
    assert len(rows) == count and all(rows)
    return [(float(row[4]), float(row[5])) for row in rows]


@pytest.mark.parametrize("kind, content_type", [
    ("geojson", "application/geo+json"),
    ("gpx", "application/gpx+xml"),
    ("fms", "text/plain; charset=utf-8"),
])
def test_exports_of_the_best_route(host, tiny_db, kind, content_type):
    path, (dep, arr) = tiny_db
    status, headers, data = fetch(plan_url(host, f"/plan.{kind}", dep=dep, arr=arr))
    assert (status, headers["Content-Type"]) == (200, content_type)
    record = in_process(path, dep, arr)["plan"]
    points = [(w["lat"], w["lon"]) for w in record["detailed_waypoints"]]
    exported = exported_positions(kind, data.decode("utf-8"))
    if kind == "fms":  # the airports at both ends; runways are named in the header
        exported = exported[1:-1]
        points = [(w["lat"], w["lon"]) for w in record["detailed_waypoints"]
                  if not re.fullmatch(r"RW\d\d[LRC]?|\w{4}APT", w["name"])]
    assert len(exported) == len(points)
    for got, want in zip([exported[0], exported[-1]], [points[0], points[-1]]):
        assert got == pytest.approx(want, abs=1e-6)
    if kind != "fms":  # .fms reads the database of the host
        assert data.decode("utf-8") == getattr(core_calc, f"route_{kind}")(record)


@pytest.mark.parametrize("target", [
    "/plan?dep={dep}&arr={arr}", "/plan.gpx?dep={dep}&arr={arr}", "/plan?dep=QQQQ&arr={arr}",
    "/plan?dep={dep}", "/nowhere"])
def test_head_answers_the_headers_of_get(host, tiny_db, target):
    _, (dep, arr) = tiny_db
    url = host + target.format(dep=dep, arr=arr)
    get_status, get_headers, get_body = fetch(url)
    head_status, head_headers, head_body = fetch(url, method="HEAD")
    assert head_body == b""
    assert (head_status, head_headers["Content-Type"], head_headers["Content-Length"]) == (
        get_status, get_headers["Content-Type"], str(len(get_body)))


def test_options_lists_the_methods(host):
    status, headers, body = fetch(host + "/plan", method="OPTIONS")
    assert (status, headers["Allow"], body) == (204, ALLOW, b"")


@pytest.mark.parametrize("method", ["POST", "PUT", "DELETE", "PATCH", "BREW"])
def test_other_methods_are_405_with_allow(host, tiny_db, method):
    _, (dep, arr) = tiny_db
    status, headers, body = fetch(plan_url(host, dep=dep, arr=arr), method=method)
    assert (status, headers["Allow"]) == (405, ALLOW)
    assert json.loads(body)["success"] is False


class SlowWeather(http.server.ThreadingHTTPServer):
    """A weather service on 127.0.0.1 that takes WAIT seconds per answer and
    records the largest number of requests it held at once."""

    WAIT = 0.2
    daemon_threads = True
    request_queue_size = 128

    def __init__(self, winds):
        self.winds = winds
        self.lock = threading.Lock()
        self.in_flight = self.most_in_flight = 0

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(handler):
                icao = urllib.parse.parse_qs(urllib.parse.urlsplit(handler.path).query)["icao"][0]
                with self.lock:
                    self.in_flight += 1
                    self.most_in_flight = max(self.most_in_flight, self.in_flight)
                time.sleep(self.WAIT)
                with self.lock:
                    self.in_flight -= 1
                report = {icao: {"parsed": {"wind": {"direction": self.winds.get(icao, "VRB")}}}}
                data = json.dumps(report).encode()
                handler.send_response(200)
                handler.send_header("Content-Length", str(len(data)))
                handler.end_headers()
                handler.wfile.write(data)

            def log_message(handler, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)


@pytest.fixture
def weather():
    # Winds that put another runway first than database order at every airport.
    server = SlowWeather({"LOGS": "220", "LKWQ": "350", "EDDQ": "160"})
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    saved = core_calc.WEATHER_API_URL
    core_calc.WEATHER_API_URL = "http://127.0.0.1:%d" % server.server_address[1]
    try:
        yield server
    finally:
        core_calc.WEATHER_API_URL = saved
        server.shutdown()
        server.server_close()


@pytest.mark.concurrency
def test_concurrent_requests_are_planned_at_once_each_with_its_runways(tiny_db, weather):
    path, _ = tiny_db
    pairs = [("LOGS", "LKWQ"), ("LKWQ", "LOGS"), ("EDDQ", "LOGS"), ("LKWQ", "EDDQ")]
    expected = {pair: answer_of(in_process(path, *pair)) for pair in pairs}
    favoured = {"LOGS": "RW22", "LKWQ": "RW35", "EDDQ": "RW16"}
    for (dep, arr), body in expected.items():  # the wind, not database order, ranks them
        assert (body["dep_runway"], body["runways"]["arrival_ranked"][0]) == (
            favoured[dep], favoured[arr])
    server = Host("--db", path, "--port", "0", "--weather-url", core_calc.WEATHER_API_URL)
    try:
        base = f"http://127.0.0.1:{server.wait_for_port()}"
        weather.most_in_flight = 0
        requests = [pairs[i % len(pairs)] for i in range(20)]
        results = [None] * len(requests)

        def ask(i):
            dep, arr = requests[i]
            results[i] = get(plan_url(base, dep=dep, arr=arr))

        threads = [threading.Thread(target=ask, args=(i,)) for i in range(len(requests))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        server.stop()
    # One request at a time asks the service for one airport at a time; more than
    # two held at once means several requests were being planned together.
    assert weather.most_in_flight > 2
    for pair, (status, body, _) in zip(requests, results):
        assert (status, body) == (200, expected[pair])


def test_missing_database_stops_the_host(tmp_path):
    server = Host("--db", str(tmp_path / "absent.db"), "--port", "0")
    assert server.wait_for_exit() != 0
    assert "no navigation database" in "".join(server.output)
