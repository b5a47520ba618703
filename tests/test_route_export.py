"""Route exports of an API record: ICAO Item 15, GeoJSON, GPX and X-Plane .fms."""
import contextlib
import io
import json
import math
import os
import re
import sys
from xml.etree import ElementTree

import pytest

import core_calc

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import gen_navdb  # noqa: E402

SID = [("DEP01", 50.0, 9.5, 10), ("EXIT", 50.0, 10.0, 20)]
ENROUTE = [("MID", 50.0, 11.0), ("ENTRY", 50.0, 12.0)]
STAR = [("ENTRY", 50.0, 12.0, 10), ("FAF", 50.1, 12.5, 20)]
IAP = [("FAF", 50.1, 12.5, 10), ("RW09", 50.1, 12.9, 20)]
GPX = "{http://www.topografix.com/GPX/1/1}"


def make_plan(sid_points=SID, star_points=STAR, iap_points=IAP, **fields):
    plan = {
        "departure": "AAAA", "sid": "SID1A", "star": "STAR1A", "approach": "I09.MAIN",
        "approach_runway": "RW09", "arrival": "ZZZZ", "enroute": list(ENROUTE),
        "route_ids": ["A1", "A1"], "distance": 500.0, "dep_connectors": [],
        "arr_connectors": [],
        "points": {"sid": list(sid_points), "star": list(star_points), "iap": list(iap_points)},
    }
    plan.update(fields)
    return plan


def make_record(**fields):
    core_calc.recommendeddep = "RW27"
    return core_calc.format_for_api(make_plan(**fields))


@pytest.fixture(scope="module")
def planned_record(tmp_path_factory):
    """The record of the demonstration pair of a generated database, as a host
    would have stored it (through JSON)."""
    path = tmp_path_factory.mktemp("navdb") / "tiny.db"
    dep, arr = gen_navdb.generate(str(path), "tiny")["demo_pair"]
    saved = core_calc.DB_PATH, core_calc.GLOBAL_NETWORK, core_calc.AIRWAY_META
    core_calc.DB_PATH = str(path)
    with contextlib.redirect_stdout(io.StringIO()):
        core_calc.GLOBAL_NETWORK = core_calc.init_network()
        best, _ = core_calc.generate_flight_plan(dep, arr)
    record = json.loads(json.dumps(core_calc.format_for_api(best)))
    core_calc.DB_PATH, core_calc.GLOBAL_NETWORK, core_calc.AIRWAY_META = saved
    return record


@pytest.fixture(params=["shaped", "planned"])
def record(request):
    if request.param == "shaped":
        return make_record(arr_connectors=[("DCT", "ENTRY", 3.0)],
                           enroute=[ENROUTE[0], ("FAR", 49.9, 11.9)])
    return request.getfixturevalue("planned_record")


def positions(record):
    return [(w["lat"], w["lon"]) for w in record["detailed_waypoints"]]


# --- ICAO Item 15 ----------------------------------------------------------------


@pytest.mark.parametrize("fields, item15", [
    pytest.param({}, "SID1A EXIT A1 ENTRY STAR1A", id="sid-airway-star"),
    pytest.param({"enroute": [("P", 50.0, 10.5), ("Q", 50.0, 11.0), ("R", 50.0, 11.5),
                              ("S", 50.0, 12.0)],
                  "route_ids": ["A1", "A1", "B2", "B2"]},
                 "SID1A EXIT A1 Q B2 S STAR1A", id="airway-and-exit-pairs"),
    pytest.param({"enroute": [("P", 50.0, 10.5), ("Q", 50.0, 11.0), ("ENTRY", 50.0, 12.0)],
                  "route_ids": ["DCT", "DCT", "B2"]},
                 "SID1A EXIT DCT P DCT Q B2 ENTRY STAR1A", id="dct-between-off-airway-fixes"),
    pytest.param({"enroute": [ENROUTE[0], ("FAR", 49.9, 11.9)],
                  "arr_connectors": [("DCT", "ENTRY", 12.0)]},
                 "SID1A EXIT A1 FAR DCT ENTRY STAR1A", id="arrival-connector"),
    pytest.param({"sid": "DCT", "sid_points": [("AAAAAPT", 49.9, 9.8, 10),
                                               ("EXIT", 50.0, 10.0, 20)]},
                 "DCT EXIT A1 ENTRY STAR1A", id="direct-departure"),
    pytest.param({"star": "DIRECT", "approach": "N/A", "approach_runway": "N/A",
                  "iap_points": [],
                  "star_points": [("ENTRY", 50.0, 12.0, 10), ("ZZZZAPT", 50.05, 12.3, 20)]},
                 "SID1A EXIT A1 ENTRY", id="direct-arrival"),
    pytest.param({"star": "DIRECT", "star_points": [], "enroute": [ENROUTE[0]],
                  "route_ids": ["A1"], "arr_connectors": [("DCT", "FAF", 30.0)]},
                 "SID1A EXIT A1 MID DCT FAF", id="approach-without-star"),
])
def test_icao_item_15(fields, item15):
    assert core_calc.route_icao(make_record(**fields)) == item15


def test_icao_item_15_of_a_planned_route_has_no_aerodromes_or_approach(planned_record):
    item15 = core_calc.route_icao(planned_record).split()
    procedures = planned_record["procedures"]
    assert item15[0] == procedures["sid"]
    assert item15[-1] == procedures["star"]
    assert not {planned_record["origin"], planned_record["destination"], procedures["iap"]} & set(
        item15)
    # every en-route airway and exit fix of the route string, in order
    route = planned_record["route_string"].split()
    assert item15 == [t for t in route[1:-1] if not t.startswith(procedures["iap"])]


# --- GeoJSON -------------------------------------------------------------------


def test_geojson_line_and_points(record):
    collection = json.loads(core_calc.route_geojson(record))
    assert collection["type"] == "FeatureCollection"
    line, *points = collection["features"]
    waypoints = record["detailed_waypoints"]
    assert line["geometry"]["type"] == "LineString"
    assert line["geometry"]["coordinates"] == [[lon, lat] for lat, lon in positions(record)]
    assert (line["properties"]["origin"], line["properties"]["destination"]) == (
        record["origin"], record["destination"])
    assert len(points) == len(waypoints)
    for point, w in zip(points, waypoints):
        assert point["type"] == "Feature"
        assert point["geometry"] == {"type": "Point", "coordinates": [w["lon"], w["lat"]]}
        assert (point["properties"]["name"], point["properties"]["airway"]) == (w["name"],
                                                                                w["airway"])
    kinds = [p["properties"]["kind"] for p in points]
    # flight order: SID, then connectors and airways in any order, STAR, approach
    rank = {"sid": 0, "connector": 1, "enroute": 1, "star": 2, "approach": 3}
    assert kinds[0] == "sid" and kinds[-1] == "approach"
    assert [rank[k] for k in kinds] == sorted(rank[k] for k in kinds)


def test_geojson_kinds_of_a_shaped_record():
    record = make_record(arr_connectors=[("DCT", "ENTRY", 3.0)],
                         enroute=[ENROUTE[0], ("FAR", 49.9, 11.9)])
    points = json.loads(core_calc.route_geojson(record))["features"][1:]
    assert [(p["properties"]["name"], p["properties"]["kind"]) for p in points] == [
        ("DEP01", "sid"), ("EXIT", "sid"), ("MID", "enroute"), ("FAR", "enroute"),
        ("ENTRY", "connector"), ("FAF", "star"), ("RW09", "approach")]


# --- GPX -------------------------------------------------------------------------


def test_gpx_route_points(record):
    root = ElementTree.fromstring(core_calc.route_gpx(record).encode())
    assert root.tag == GPX + "gpx" and root.get("version") == "1.1"
    (rte,) = root.findall(GPX + "rte")
    rtepts = rte.findall(GPX + "rtept")
    assert len(rtepts) == len(record["detailed_waypoints"])
    got = [(float(p.get("lat")), float(p.get("lon"))) for p in rtepts]
    assert got == positions(record)
    assert [p.findtext(GPX + "name") for p in rtepts] == [
        w["name"] for w in record["detailed_waypoints"]]


def test_gpx_escapes_names():
    record = make_record(sid_points=[("A&B<C>\"'", 50.0, 9.5, 10), ("EXIT", 50.0, 10.0, 20)])
    rtept = ElementTree.fromstring(core_calc.route_gpx(record)).find(f"{GPX}rte/{GPX}rtept")
    assert rtept.findtext(GPX + "name") == "A&B<C>\"'"


# --- X-Plane .fms -------------------------------------------------------------------

HEADER = re.compile(r"(ADEP|DEPRWY|SID|ADES|DESRWY|STAR|APP) (\S+)$")
WAYPOINT = re.compile(r"(1|2|3|11|28) (\S+) (\S+) (-?\d+\.\d{6}) (-?\d+\.\d{6}) (-?\d+\.\d{6})$")


def parse_fms(text):
    """The header fields and waypoint lines; fails on any line out of the grammar."""
    lines = text.splitlines()
    assert lines[:2] == ["I", "1100 Version"]
    assert re.fullmatch(r"CYCLE \d{4}", lines[2])
    fields, i = {}, 3
    while not lines[i].startswith("NUMENR "):
        key, value = HEADER.fullmatch(lines[i]).groups()
        fields[key] = value
        i += 1
    count = int(lines[i].split()[1])
    rows = [WAYPOINT.fullmatch(line).groups() for line in lines[i + 1:]]
    assert len(rows) == count
    return lines[2][6:], fields, rows


def test_fms_lines(record):
    cycle, fields, rows = parse_fms(core_calc.route_fms(record, cycle="2501"))
    assert cycle == "2501"
    assert (fields["ADEP"], fields["ADES"]) == (record["origin"], record["destination"])
    assert len(rows) == len(record["detailed_waypoints"])
    first, last = record["detailed_waypoints"][0], record["detailed_waypoints"][-1]
    assert float(rows[0][4]) == pytest.approx(first["lat"], abs=1e-6)
    assert float(rows[0][5]) == pytest.approx(first["lon"], abs=1e-6)
    assert float(rows[-1][4]) == pytest.approx(last["lat"], abs=1e-6)
    assert float(rows[-1][5]) == pytest.approx(last["lon"], abs=1e-6)
    assert all(row[3] == "0.000000" for row in rows)


def test_fms_header_of_a_shaped_record():
    _, fields, rows = parse_fms(core_calc.route_fms(make_record(), cycle="2501"))
    assert fields == {"ADEP": "AAAA", "DEPRWY": "RW27", "SID": "SID1A", "ADES": "ZZZZ",
                      "DESRWY": "RW09", "STAR": "STAR1A", "APP": "I09"}
    assert [(r[0], r[1], r[2]) for r in rows] == [
        ("11", "DEP01", "DRCT"), ("11", "EXIT", "DRCT"), ("11", "MID", "A1"),
        ("11", "ENTRY", "A1"), ("11", "FAF", "DRCT"), ("11", "RW09", "DRCT")]


def test_fms_direct_procedures_and_unknown_runways():
    core_calc.recommendedarr = "N/A"
    record = make_record(
        sid="DCT", sid_points=[("AAAAAPT", 49.9, 9.8, 10), ("EXIT", 50.0, 10.0, 20)],
        star="DIRECT", approach="N/A", approach_runway="N/A", iap_points=[],
        star_points=[("ENTRY", 50.0, 12.0, 10), ("ZZZZAPT", 50.05, 12.3, 20)])
    record["dep_runway"] = "N/A"
    _, fields, rows = parse_fms(core_calc.route_fms(record, cycle="2501"))
    # no runway: no procedure either, as X-Plane loads procedures for a runway
    assert fields == {"ADEP": "AAAA", "ADES": "ZZZZ"}
    assert rows[0][:3] == ("1", "AAAA", "ADEP") and rows[-1][:3] == ("1", "ZZZZ", "ADES")


def test_fms_names_the_runways_flown_when_the_record_has_them():
    record = make_record()
    record["runways"] = {"departure": "RW33", "arrival": "N/A", "departure_ranked": ["RW27"],
                         "arrival_ranked": [], "departure_wind": "N/A", "arrival_wind": "N/A"}
    _, fields, _ = parse_fms(core_calc.route_fms(record, cycle="2501"))
    assert (fields["DEPRWY"], fields["DESRWY"]) == ("RW33", "RW09")


def test_fms_cycle_defaults_to_the_current_one():
    cycle, _, _ = parse_fms(core_calc.route_fms(make_record()))
    assert 2000 < int(cycle) < 10000 and 1 <= int(cycle[2:]) <= 14
    with pytest.raises(ValueError, match="cycle"):
        core_calc.route_fms(make_record(), cycle="25")


# --- records the exports refuse -----------------------------------------------------

EXPORTS = [core_calc.route_icao, core_calc.route_geojson, core_calc.route_gpx,
           core_calc.route_fms]


def spoil(record, path, value):
    """A copy of `record` with the value at `path` replaced (or deleted for ...)."""
    record = json.loads(json.dumps(record))
    *parents, last = path
    target = record
    for key in parents:
        target = target[key]
    if value is ...:
        del target[last]
    else:
        target[last] = value
    return record


@pytest.mark.parametrize("path, value, error, match", [
    (("detailed_waypoints",), ..., ValueError, "detailed_waypoints"),
    (("detailed_waypoints",), "DEP01", TypeError, "detailed_waypoints"),
    (("detailed_waypoints", 1, "lat"), "50.0", TypeError, r"detailed_waypoints\[1\]\['lat'\]"),
    (("detailed_waypoints", 1), None, TypeError, r"detailed_waypoints\[1\]"),
    (("detailed_waypoints", 2, "name"), ..., ValueError, r"detailed_waypoints\[2\].*name"),
    (("procedures", "sid"), 7, TypeError, "sid"),
    (("procedures",), ..., ValueError, "procedures"),
    (("origin",), None, TypeError, "origin"),
])
@pytest.mark.parametrize("export", EXPORTS, ids=lambda f: f.__name__)
def test_bad_fields_are_named(export, path, value, error, match):
    with pytest.raises(error, match=match):
        export(spoil(make_record(), path, value))


@pytest.mark.parametrize("export", EXPORTS[1:], ids=lambda f: f.__name__)
def test_coordinates_must_be_finite(export):
    record = spoil(make_record(), ("detailed_waypoints", 3, "lon"), math.inf)
    with pytest.raises(ValueError, match=r"detailed_waypoints\[3\].*lon.*finite"):
        export(record)


@pytest.mark.parametrize("export", EXPORTS, ids=lambda f: f.__name__)
@pytest.mark.parametrize("record", [None, "AAAA SID1A", [("DEP01", 50.0, 9.5)]])
def test_record_that_is_not_a_mapping(export, record):
    with pytest.raises(TypeError, match="mapping"):
        export(record)
