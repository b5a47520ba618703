"""The flight-plan service on its pre-fork server, queried over HTTP as clients do."""
import http.server
import json
import os
import re
import sqlite3
import sys
import threading
import time
import urllib.parse
from xml.etree import ElementTree

import pytest

pytest.importorskip("fastapi")
pytest.importorskip("uvicorn_worker")

import core_calc  # noqa: E402
from service_host import ROOT, SERVER_DIR, Service, fetch, get_json, plan_url  # noqa: E402

sys.path.insert(0, SERVER_DIR)
sys.path.insert(0, os.path.join(ROOT, "tools"))
import gen_navdb  # noqa: E402
from core_calc_server import outcome  # noqa: E402
from core_calc_server.models import Failure, Health, PlanAnswer  # noqa: E402

pytestmark = [pytest.mark.service, pytest.mark.fork]

ISLAND = "ISLE"  # an airport with a reference point only, far from every airway
JSON_TYPE = "application/json; charset=utf-8"
ALLOW = "GET, HEAD, OPTIONS"


@pytest.fixture(scope="module")
def tiny_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("navdb") / "tiny.db"
    summary = gen_navdb.generate(str(path), "tiny")
    with sqlite3.connect(path) as conn:
        conn.execute("INSERT INTO airports VALUES (?, 'ISLAND', -40.0, -140.0)", (ISLAND,))
    conn.close()
    return str(path), tuple(summary["demo_pair"])


@pytest.fixture(scope="module")
def service(tiny_db):
    path, _ = tiny_db
    with Service("--db", path, "--cycle", "2401") as running:
        yield running


@pytest.fixture(scope="module")
def host(service):
    return service.url


def in_process(path, dep, arr, **forced):
    """The service's result for the same request, planned in this process."""
    core_calc.DB_PATH = path
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    result = outcome.plan(dep, arr, forced, lambda line: None)
    return json.loads(json.dumps(result))


def answer_of(result):
    return {**result["plan"], "alternatives": result["alternatives"],
            "warnings": result["warnings"]}


def test_plan_is_the_record_with_alternatives_and_fits_its_model(host, tiny_db):
    path, (dep, arr) = tiny_db
    status, body, content_type = get_json(plan_url(host, dep=dep.lower(), arr=arr))
    assert (status, content_type) == (200, JSON_TYPE)
    assert body == answer_of(in_process(path, dep, arr))
    assert body["route_string"].startswith(dep + " ") and body["route_string"].endswith(arr)
    PlanAnswer.model_validate(body)


@pytest.mark.parametrize("forced", [("sid",), ("star",), ("iap",), ("dep_rwy", "arr_rwy"),
                                    ("sid", "star", "iap", "dep_rwy", "arr_rwy")])
def test_forced_parameters_reach_the_planner(host, tiny_db, forced):
    path, (dep, arr) = tiny_db
    free = in_process(path, dep, arr)["plan"]
    choices = {"sid": free["procedures"]["sid"], "star": free["procedures"]["star"],
               "iap": free["procedures"]["iap"],
               "dep_rwy": core_calc.get_best_runway_and_wind(dep)[0][-1],
               "arr_rwy": core_calc.get_best_runway_and_wind(arr)[0][-1]}
    params = {name: choices[name] for name in forced}
    expected = in_process(path, dep, arr, **{"forced_" + k: v for k, v in params.items()})
    status, body, _ = get_json(plan_url(host, dep=dep, arr=arr, **params))
    assert status == outcome.http_status(expected["status"])
    if status == 200:
        assert body == answer_of(expected)
        if "dep_rwy" in params:
            assert body["runways"]["departure"] == params["dep_rwy"]


@pytest.mark.parametrize("params, http, status, codes", [
    ({"star": "NOSUCH1A"}, 200, "ok", ["forced_star_not_found"]),
    ({"sid": "NOSUCH1A"}, 422, "forced_sid_not_found", []),
    ({"dep": "QQQQ"}, 404, "unknown_departure", []),
    ({"arr": "QQQQ"}, 404, "unknown_arrival", []),
    ({"arr": ISLAND}, 404, "no_route", []),  # known, but no airway within reach
])
@pytest.mark.parametrize("path", ["/plan", "/plan.gpx"])
def test_outcomes_map_to_http_statuses(host, tiny_db, path, params, http, status, codes):
    _, (dep, arr) = tiny_db
    answer, body, content_type = get_json(plan_url(host, "/plan", **{"dep": dep, "arr": arr,
                                                                     **params}))
    assert answer == http
    assert set(codes) <= {w["code"] for w in body["warnings"]}
    assert all(w["message"] for w in body["warnings"])
    if http != 200:
        Failure.model_validate(body)
        assert (body["success"], body["status"], content_type) == (False, status, JSON_TYPE)
        assert body["message"]
        assert get_json(plan_url(host, path, **{"dep": dep, "arr": arr, **params}))[:2] == (
            http, body)


@pytest.mark.parametrize("query, field, says", [
    ("arr=LKWQ", "dep", "Field required"),
    ("dep=&arr=LKWQ", "dep", "pattern"),
    ("dep=LO&arr=LKWQ", "dep", "pattern"),
    ("dep=LOGSLOGSX&arr=LKWQ", "dep", "pattern"),
    ("dep=LOGS&arr=%C3%89PFO", "arr", "pattern"),
    ("dep=LOGS&arr=logs", "arr", "must differ"),
    ("dep=LOGS&dep=LKWQ&arr=LKWQ", "dep", "more than once"),
    ("dep=LOGS&arr=LKWQ&sid_name=X", "sid_name", "unknown parameter"),
    ("dep=LOGS&arr=LKWQ&dep_rwy=RW%2009", "dep_rwy", "pattern"),
    ("dep=LOGS&arr=LKWQ&sid=%27%3B--", "sid", "pattern"),
])
@pytest.mark.parametrize("path", ["/plan", "/plan.fms"])
def test_invalid_parameters_are_422_naming_the_field(host, path, query, field, says):
    status, body, content_type = get_json(f"{host}{path}?{query}")
    assert (status, content_type, body["status"]) == (422, JSON_TYPE, "invalid_request")
    assert f"'{field}'" in body["message"] and says in body["message"]
    assert body["detail"][0]["loc"] == ["query", field]


FMS_WAYPOINT = re.compile(r"(1|2|3|11|28) (\S+) (\S+) 0\.000000 (-?\d+\.\d{6}) (-?\d+\.\d{6})")


@pytest.mark.parametrize("kind, content_type", [
    ("geojson", "application/geo+json"),
    ("gpx", "application/gpx+xml"),
    ("fms", "text/plain; charset=utf-8"),
    ("pln", "application/xml; charset=utf-8"),
    ("fpl", "application/xml; charset=utf-8"),
])
def test_exports_of_the_best_route(host, tiny_db, kind, content_type):
    path, (dep, arr) = tiny_db
    status, headers, data = fetch(plan_url(host, f"/plan.{kind}", dep=dep, arr=arr))
    assert (status, headers["Content-Type"]) == (200, content_type)
    assert headers["Content-Disposition"] == f'attachment; filename="{dep}-{arr}.{kind}"'
    record = in_process(path, dep, arr)["plan"]
    text = data.decode("utf-8")
    if kind == "fms":
        assert text == core_calc.route_fms(record, "2401")  # the cycle the service was given
        # The airports at both ends; runways are named in the header, not as waypoints.
        flown = [w for w in record["detailed_waypoints"]
                 if not re.fullmatch(r"RW\d\d[LRC]?|\w{4}APT", w["name"])]
        assert len(FMS_WAYPOINT.findall(text)) == len(flown) + 2
    else:
        assert text == getattr(core_calc, f"route_{kind}")(record)
    if kind == "gpx":
        ElementTree.fromstring(text)


@pytest.mark.parametrize("target", ["/plan?dep={dep}&arr={arr}", "/plan.gpx?dep={dep}&arr={arr}",
                                    "/plan?dep=QQQQ&arr={arr}", "/plan?dep={dep}", "/nowhere",
                                    "/health"])
def test_head_answers_the_headers_of_get(host, tiny_db, target):
    _, (dep, arr) = tiny_db
    url = host + target.format(dep=dep, arr=arr)
    get_status, get_headers, get_body = fetch(url)
    head_status, head_headers, head_body = fetch(url, method="HEAD")
    assert head_body == b""
    assert (head_status, head_headers["Content-Type"]) == (get_status, get_headers["Content-Type"])
    if target != "/health":  # its uptime changes the length
        assert head_headers["Content-Length"] == str(len(get_body))


def test_methods_and_paths_the_service_does_not_serve(host):
    status, headers, body = fetch(host + "/plan", method="OPTIONS")
    assert (status, headers["Allow"], body) == (204, ALLOW, b"")
    for method in ("POST", "DELETE"):
        status, headers, body = fetch(host + "/plan?dep=LOGS&arr=LKWQ", method=method)
        assert (status, headers["Allow"], json.loads(body)["status"]) == (
            405, ALLOW, "method_not_allowed")
    for path in ("/plans?dep=LOGS&arr=LKWQ", "/plan/LOGS", "/plan.kml?dep=LOGS&arr=LKWQ"):
        status, body, content_type = get_json(host + path)
        assert (status, content_type, body["status"]) == (404, JSON_TYPE, "not_found")


def network_legs(path):
    """The network of path and its legs: (from, to, undirected leg as (lon, lat) ends)."""
    core_calc.DB_PATH = path
    network = core_calc.init_network()
    return network, [(a, b, frozenset([(a[2], a[1]), (b[2], b[1])]))
                     for a in network.graph for b in network.graph[a]]


def test_network_layer_holds_the_legs_inside_the_box(host, tiny_db):
    path, _ = tiny_db
    network, legs = network_legs(path)
    lats = [lat for lat, _ in network.coord_map.values()]
    lons = [lon for _, lon in network.coord_map.values()]
    mid_lat, mid_lon = (min(lats) + max(lats)) / 2, (min(lons) + max(lons)) / 2
    box = (mid_lon - 3, mid_lat - 2, mid_lon + 3, mid_lat + 2)

    def in_box(key):
        return box[0] <= key[2] <= box[2] and box[1] <= key[1] <= box[3]

    touching = {leg for a, b, leg in legs if in_box(a) or in_box(b)}
    leaving = {leg for a, _, leg in legs if in_box(a)}
    assert leaving and len(touching) < len({leg for _, _, leg in legs})
    url = f"{host}/network.geojson?bbox={','.join(map(str, box))}&limit=20000"
    status, layer, _ = get_json(url)
    assert (status, layer["truncated"]) == (200, False)
    drawn = [frozenset(map(tuple, f["geometry"]["coordinates"])) for f in layer["features"]]
    # every leg out of a waypoint in the box, each once; nothing outside it
    assert len(drawn) == len(set(drawn)) and leaving <= set(drawn) <= touching
    status, capped, _ = get_json(url.replace("limit=20000", "limit=25"))
    assert (status, capped["truncated"], len(capped["features"])) == (200, True, 25)
    assert {frozenset(map(tuple, f["geometry"]["coordinates"])) for f in capped["features"]} <= (
        touching)


@pytest.mark.parametrize("query, field", [
    ("bbox=1,2,3", "bbox"), ("bbox=10,50,5,55", "bbox"), ("bbox=a,b,c,d", "bbox"),
    ("bbox=0,-91,10,10", "bbox"), ("bbox=0,0,nan,10", "bbox"), ("", "bbox"),
    ("bbox=0,0,10,10&limit=0", "limit"), ("bbox=0,0,10,10&limit=1000000", "limit"),
])
def test_network_layer_refuses_a_bad_box(host, query, field):
    status, body, _ = get_json(f"{host}/network.geojson?{query}")
    assert (status, body["status"]) == (422, "invalid_request")
    assert f"'{field}'" in body["message"]


def test_health_describes_the_loaded_network_of_each_worker(service, tiny_db):
    path, _ = tiny_db
    network, _ = network_legs(path)
    pids = set()
    for _ in range(40):
        status, body, _ = get_json(service.url + "/health")
        assert status == 200
        Health.model_validate(body)
        pids.add(body.pop("pid"))
        assert body.pop("uptime_s") > 0
        assert body == {"status": "ok", "network_loaded": True,
                        "airway_rows": len(core_calc.AIRWAY_META),
                        "nodes": len(network.coord_map), "database": os.path.abspath(path),
                        "cycle": "2401"}
    assert pids <= set(service.worker_pids())


def test_openapi_document_describes_the_endpoints(host):
    status, document, _ = get_json(host + "/openapi.json")
    assert status == 200
    assert {"/plan", "/plan.geojson", "/plan.gpx", "/plan.fms", "/network.geojson",
            "/health"} <= set(document["paths"])
    plan = document["paths"]["/plan"]["get"]
    assert {p["name"] for p in plan["parameters"]} == {"dep", "arr", "sid", "star", "iap",
                                                       "dep_rwy", "arr_rwy"}
    assert plan["responses"]["200"]["content"]["application/json"]["schema"]["$ref"].endswith(
        "/PlanAnswer")
    assert {"PlanAnswer", "PlanRecord", "Waypoint", "Leg", "Failure", "Health"} <= set(
        document["components"]["schemas"])


def test_map_page_and_its_assets_come_from_the_service(host):
    status, headers, page = fetch(host + "/")
    assert (status, headers["Content-Type"]) == (200, "text/html; charset=utf-8")
    assets = re.findall(r'(?:src|href)="(/static/[^"]+)"', page.decode())
    assert "/static/leaflet/leaflet.js" in assets and "/static/map.js" in assets
    assert not re.search(r'(?:src|href)="(https?:)?//', page.decode())  # nothing from elsewhere
    for asset in assets:
        assert fetch(host + asset)[0] == 200, asset


class SlowWeather(http.server.ThreadingHTTPServer):
    """A weather service on 127.0.0.1 that takes WAIT seconds per answer and records
    the largest number of requests it held at once."""

    WAIT = 0.2
    daemon_threads = True
    request_queue_size = 128

    def __init__(self):
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
                data = json.dumps({icao: {"parsed": {"wind": {"direction": "VRB"}}}}).encode()
                handler.send_response(200)
                handler.send_header("Content-Length", str(len(data)))
                handler.end_headers()
                handler.wfile.write(data)

            def log_message(handler, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)


def test_one_worker_plans_concurrent_requests_at_once(tiny_db):
    path, (dep, arr) = tiny_db
    weather = SlowWeather()
    threading.Thread(target=weather.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d" % weather.server_address[1]
    results = [None] * 12
    try:
        with Service("--db", path, "--weather-url", url, workers=1) as running:
            def ask(i):
                results[i] = get_json(plan_url(running.url, dep=dep, arr=arr))[:2]

            threads = [threading.Thread(target=ask, args=(i,)) for i in range(len(results))]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
    finally:
        weather.shutdown()
        weather.server_close()
    # One request at a time asks for one airport's wind at a time (or two at once);
    # more than two held at once means the worker planned several requests together.
    assert weather.most_in_flight > 2
    assert all(status == 200 for status, _ in results)
    assert len({json.dumps(body, sort_keys=True) for _, body in results}) == 1


@pytest.mark.parametrize("args, says", [
    (["--db", "absent.db"], "no navigation database"),
    (["--db", "{empty}"], "no airway network"),
])
def test_service_does_not_start_without_a_network(tmp_path, args, says):
    empty = tmp_path / "empty.db"
    sqlite3.connect(empty).close()
    args = [a.format(empty=empty) for a in args]
    service = Service(*[str(tmp_path / a) if a == "absent.db" else a for a in args])
    assert service.wait_for_exit() != 0
    assert says in "".join(service.output)
