"""format_for_api: a plan record as the API record the host serves."""
import copy
import json
import os
import sqlite3
import subprocess
import sys
from xml.etree import ElementTree

import pytest

import core_calc
from navdb import NavDb

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import gen_navdb  # noqa: E402

SID = [("DEP01", 50.0, 9.5, 10), ("EXIT", 50.0, 10.0, 20)]
ENROUTE = [("MID", 50.0, 11.0), ("ENTRY", 50.0, 12.0)]
STAR = [("ENTRY", 50.0, 12.0, 10), ("FAF", 50.1, 12.5, 20)]
IAP = [("FAF", 50.1, 12.5, 10), ("RW09", 50.1, 12.9, 20)]
MISSING = object()


def make_plan(sid_points=SID, star_points=STAR, iap_points=IAP, **fields):
    """A plan record laid out like the planner's, with fields replaced as given."""
    plan = {
        "departure": "AAAA",
        "sid": "SID1A",
        "star": "STAR1A",
        "approach": "I09.MAIN",
        "approach_runway": "RW09",
        "arrival": "ZZZZ",
        "enroute": list(ENROUTE),
        "route_ids": ["A1", "A1"],
        "distance": 500.0,
        "dep_connectors": [],
        "arr_connectors": [],
        "points": {"sid": list(sid_points), "star": list(star_points), "iap": list(iap_points)},
    }
    plan.update(fields)
    return plan


def waypoints(record):
    return [(w["name"], w["airway"], w["seqno"]) for w in record["detailed_waypoints"]]


def names(record):
    return [w["name"] for w in record["detailed_waypoints"]]


# --- the record as a whole -------------------------------------------------


@pytest.mark.parametrize("plan", [None, {}])
def test_no_plan_gives_none(plan):
    assert core_calc.format_for_api(plan) is None


def test_record_keys_and_values_in_order():
    core_calc.recommendeddep = "RW27"
    record = core_calc.format_for_api(make_plan())
    assert list(record) == ["success", "message", "origin", "destination", "dep_runway",
                            "arr_runway", "distance_km", "route_string", "detailed_waypoints",
                            "procedures"]
    assert record["success"] is True
    assert record["message"] == "Plan generated successfully"
    assert (record["origin"], record["destination"]) == ("AAAA", "ZZZZ")
    assert (record["dep_runway"], record["arr_runway"]) == ("RW27", "RW09")
    assert record["route_string"] == "AAAA SID1A EXIT A1 ENTRY STAR1A I09 ZZZZ"
    assert record["procedures"] == {"sid": "SID1A", "star": "STAR1A", "iap": "I09",
                                    "iap_trans": None}
    assert list(record["procedures"]) == ["sid", "star", "iap", "iap_trans"]
    for entry in record["detailed_waypoints"]:
        assert list(entry) == ["name", "lat", "lon", "airway", "seqno", "direction_restriction"]
    json.dumps(record)  # plain host values only


def test_default_plan_waypoints_in_flight_order():
    record = core_calc.format_for_api(make_plan())
    # ENTRY ends the en-route path and starts the STAR; FAF ends the STAR and
    # starts the approach: each is listed once, under the leg that reaches it.
    assert waypoints(record) == [
        ("DEP01", "SID1A", "10"), ("EXIT", "SID1A", "20"),
        ("MID", "A1", None), ("ENTRY", "A1", None),
        ("FAF", "STAR1A", "20"), ("RW09", "I09.MAIN", "20"),
    ]


def test_plan_is_left_unchanged():
    plan = make_plan(arr_connectors=[("DCT", "ENTRY", 3.0)])
    before = copy.deepcopy(plan)
    core_calc.format_for_api(plan)
    assert plan == before


def test_runways_are_read_at_the_call():
    plan = make_plan(approach_runway="N/A")
    core_calc.recommendeddep, core_calc.recommendedarr = "RW01", "RW19"
    first = core_calc.format_for_api(plan)
    core_calc.recommendeddep, core_calc.recommendedarr = "RW02", "RW20"
    second = core_calc.format_for_api(plan)
    assert (first["dep_runway"], first["arr_runway"]) == ("RW01", "RW19")
    assert (second["dep_runway"], second["arr_runway"]) == ("RW02", "RW20")


@pytest.mark.parametrize("approach_runway, expected", [
    ("RW35", "RW35"),
    ("N/A", "RW05"),
    ("", "RW05"),
    (None, "RW05"),
    (MISSING, "RW05"),
])
def test_arrival_runway_falls_back_to_the_recommended_one(approach_runway, expected):
    core_calc.recommendedarr = "RW05"
    plan = make_plan(approach_runway=approach_runway)
    if approach_runway is MISSING:
        del plan["approach_runway"]
    assert core_calc.format_for_api(plan)["arr_runway"] == expected


@pytest.mark.parametrize("distance, km", [
    (812.97, 812), (812.0, 812), (0.999, 0), (700, 700), (1e6 + 0.5, 1000000),
])
def test_distance_is_truncated(distance, km):
    record = core_calc.format_for_api(make_plan(distance=distance))
    assert record["distance_km"] == km
    assert type(record["distance_km"]) is int


# --- waypoint entries --------------------------------------------------------


@pytest.mark.parametrize("seq, text", [
    (10, "10"), (10.5, "10.5"), (10.0, "10.0"), (0.1, "0.1"), (123456789, "123456789"),
    ("010", "010"), ("A", "A"), (None, None),
])
def test_sequence_number_text_form(seq, text):
    plan = make_plan(sid_points=[("DEP01", 50.0, 9.5, seq), ("EXIT", 50.0, 10.0, 20)])
    assert core_calc.format_for_api(plan)["detailed_waypoints"][0]["seqno"] == text


@pytest.mark.parametrize("lat, lon, stored", [
    (39.123456789, 116.987654321, (39.12345679, 116.98765432)),
    (-39.123456789, -116.987654321, (-39.12345679, -116.98765432)),
    (39.1, 116, (39.1, 116.0)),
    (0.000000001, -0.000000004, (0.0, 0.0)),
])
def test_coordinates_rounded_to_eight_decimals(lat, lon, stored):
    plan = make_plan(sid_points=[("DEP01", lat, lon, 10), ("EXIT", 50.0, 10.0, 20)])
    entry = core_calc.format_for_api(plan)["detailed_waypoints"][0]
    assert (entry["lat"], entry["lon"]) == stored
    assert type(entry["lat"]) is float and type(entry["lon"]) is float


@pytest.mark.parametrize("second, listed", [
    pytest.param(("A", 10.0009, 20.0009), 1, id="same-fix-within-tolerance"),
    pytest.param(("A", 10.0011, 20.0), 2, id="latitude-too-far"),
    pytest.param(("A", 10.0, 19.9989), 2, id="longitude-too-far"),
    pytest.param(("B", 10.0, 20.0), 2, id="other-name-same-place"),
    # The stored entry holds 10.0 (rounded from 10.000000004); 9.999000002 lies
    # within 0.001 of that, though not of the value it was rounded from.
    pytest.param(("A", 9.999000002, 20.0), 1, id="compared-with-stored-rounded-value"),
    # The new point is compared unrounded: 10.000999996 is within 0.001 of 10.0,
    # although it would round to 10.001.
    pytest.param(("A", 10.000999996, 20.0), 1, id="new-point-compared-unrounded"),
])
def test_repeat_of_the_last_entry_is_dropped(second, listed):
    first = ("A", 10.000000004, 20.0, 10)
    plan = make_plan(sid_points=[first, second + (20,)], enroute=[], route_ids=[])
    sid_entries = [w for w in waypoints(core_calc.format_for_api(plan)) if w[1] == "SID1A"]
    assert sid_entries == [("A", "SID1A", "10"), (second[0], "SID1A", "20")][:listed]


def test_only_the_last_entry_is_compared():
    sid = [("A", 10.0, 20.0, 10), ("B", 10.5, 20.5, 20), ("A", 10.0, 20.0, 30)]
    plan = make_plan(sid_points=sid, enroute=[], route_ids=[])
    assert names(core_calc.format_for_api(plan))[:3] == ["A", "B", "A"]


def test_repeated_fix_keeps_the_first_entrys_airway():
    # The en-route path ends on the STAR's first fix: the STAR's airway name
    # starts at its second point.
    record = core_calc.format_for_api(make_plan())
    assert [w for w in waypoints(record) if w[0] in ("ENTRY", "FAF")] == [
        ("ENTRY", "A1", None), ("FAF", "STAR1A", "20")]


def test_en_route_metadata_from_airway_meta():
    mid, entry, last = ("MID", 50.0, 11.0), ("ENTRY", 50.0, 12.0), ("LAST", 50.0, 12.5)
    core_calc.AIRWAY_META = {
        ("A1", mid): {"seqno": "30", "direction_restriction": "F"},
        ("A1", entry): {},  # an empty entry counts as none
        ("DCT", last): {"seqno": "99", "direction_restriction": "B"},  # never read for DCT
    }
    plan = make_plan(enroute=[mid, entry, last], route_ids=["A1", "A1", "DCT"],
                     star_points=[("LAST", 50.0, 12.5, 10), ("FAF", 50.1, 12.5, 20)])
    entries = core_calc.format_for_api(plan)["detailed_waypoints"][2:5]
    assert [(w["name"], w["airway"], w["seqno"], w["direction_restriction"]) for w in entries] == [
        ("MID", "A1", "30", "F"),
        ("ENTRY", "A1", None, None),
        ("LAST", "DCT", None, None),
    ]


def test_airway_without_metadata_entry():
    core_calc.AIRWAY_META = {}
    record = core_calc.format_for_api(make_plan(route_ids=["UL9", "UL9"]))
    assert [(w["airway"], w["seqno"], w["direction_restriction"])
            for w in record["detailed_waypoints"][2:4]] == [("UL9", None, None)] * 2


def test_last_node_without_route_id_takes_the_previous_one():
    # route_ids shorter than the path: the waypoint list keeps the previous
    # airway for the last node, while the route string writes it as a direct leg.
    core_calc.AIRWAY_META = {("A1", ENROUTE[1]): {"seqno": "40", "direction_restriction": None}}
    record = core_calc.format_for_api(make_plan(route_ids=["A1"]))
    assert waypoints(record)[2:4] == [("MID", "A1", None), ("ENTRY", "A1", "40")]
    assert record["route_string"] == "AAAA SID1A EXIT A1 MID DCT ENTRY STAR1A I09 ZZZZ"


def test_en_route_without_route_ids_is_direct():
    record = core_calc.format_for_api(make_plan(route_ids=[]))
    assert waypoints(record)[2:4] == [("MID", "DCT", None), ("ENTRY", "DCT", None)]
    assert record["route_string"] == "AAAA SID1A EXIT DCT MID ENTRY STAR1A I09 ZZZZ"


# --- connectors --------------------------------------------------------------


def test_arrival_connector_to_the_first_star_point():
    far = ("FAR", 49.9, 11.9)
    plan = make_plan(enroute=[ENROUTE[0], far], arr_connectors=[("DCT", "ENTRY", 12.0)])
    record = core_calc.format_for_api(plan)
    assert waypoints(record)[2:6] == [
        ("MID", "A1", None), ("FAR", "A1", None),
        ("ENTRY", "DCT", None),  # the connector, at the STAR point's position
        ("FAF", "STAR1A", "20"),  # the STAR's own first point was a repeat
    ]
    connector = record["detailed_waypoints"][4]
    assert (connector["lat"], connector["lon"]) == (50.0, 12.0)


def test_arrival_connector_to_the_first_approach_point_without_star():
    plan = make_plan(star_points=[], star="DIRECT", enroute=[ENROUTE[0]], route_ids=["A1"],
                     arr_connectors=[("DCT", "FAF", 30.0)])
    record = core_calc.format_for_api(plan)
    assert waypoints(record)[2:] == [("MID", "A1", None), ("FAF", "DCT", None),
                                     ("RW09", "I09.MAIN", "20")]
    assert record["route_string"] == "AAAA SID1A EXIT A1 MID I09 ZZZZ"


def test_arrival_connector_naming_no_first_point_adds_nothing():
    # only the first point of the STAR or approach is ever a connector fix
    plan = make_plan(arr_connectors=[("DCT", "RW09", 5.0), ("DCT", "ELSEWHERE", 5.0)])
    assert names(core_calc.format_for_api(plan)) == ["DEP01", "EXIT", "MID", "ENTRY", "FAF",
                                                     "RW09"]


def test_departure_connector_with_a_node_key():
    core_calc.GLOBAL_NETWORK = None  # a node key carries its own position
    plan = make_plan(dep_connectors=[("DCT", ("JOIN", 50.0, 10.5), 30.0)])
    record = core_calc.format_for_api(plan)
    assert waypoints(record)[1:4] == [("EXIT", "SID1A", "20"), ("JOIN", "DCT", None),
                                      ("MID", "A1", None)]


def test_departure_connector_by_name_needs_the_network():
    core_calc.GLOBAL_NETWORK = None
    plan = make_plan(dep_connectors=[("DCT", "JOIN", 30.0)])
    with pytest.raises(RuntimeError, match="GLOBAL_NETWORK"):
        core_calc.format_for_api(plan)


def test_departure_connector_unknown_to_the_network_adds_nothing():
    net = core_calc.RouteNetwork()
    net.add_edge(("JOIN", 50.0, 10.5), ("MID", 50.0, 11.0), 35.7, "A1")
    net.coord_map[("JOIN", 50.0, 10.5)] = (50.0, 10.5)
    core_calc.GLOBAL_NETWORK = net
    plan = make_plan(dep_connectors=[("DCT", "JOIN", 30.0)])
    assert names(core_calc.format_for_api(plan))[:3] == ["DEP01", "EXIT", "MID"]


# --- route string ------------------------------------------------------------


@pytest.mark.parametrize("nodes, route_ids, tokens", [
    pytest.param("PQR", ["A1", "A1", "A1"], "A1 R", id="one-airway-first-to-last"),
    pytest.param("PQRS", ["A1", "A1", "B2", "B2"], "A1 Q B2 S", id="airway-change"),
    pytest.param("PQR", ["A1", "DCT", "B2"], "A1 P DCT Q B2 R", id="direct-leg-between"),
    pytest.param("PQR", ["DCT", "DCT", "DCT"], "DCT P Q R", id="direct-legs"),
    pytest.param("PQRS", ["A1", "B2", "A1", "A1"], "A1 P B2 Q A1 S", id="airway-again-later"),
    pytest.param("", [], "", id="no-en-route"),
])
def test_en_route_tokens(nodes, route_ids, tokens):
    enroute = [(n, 50.0, 10.0 + i) for i, n in enumerate(nodes)]
    plan = make_plan(enroute=enroute, route_ids=route_ids)
    route = core_calc.format_for_api(plan)["route_string"]
    expected = " ".join(t for t in ["AAAA SID1A EXIT", tokens, "STAR1A I09 ZZZZ"] if t)
    assert route == expected


@pytest.mark.parametrize("approach, token, iap, trans", [
    ("I09.MAIN", "I09", "I09", None),
    ("I09.ABC", "I09.ABC", "I09", "ABC"),
    ("I09.MAIN1", "I09.MAIN1", "I09", "MAIN1"),  # a numbered piece of the main segment
    ("I09.ABC.X", "I09.ABC.X", "I09", "ABC.X"),  # split at the first dot
    ("R09", "R09", "R09", None),
    ("N/A", None, "N/A", None),
])
def test_approach_token_and_transition(approach, token, iap, trans):
    record = core_calc.format_for_api(make_plan(approach=approach))
    tail = ["STAR1A"] + ([token] if token else []) + ["ZZZZ"]
    assert record["route_string"].split()[-len(tail):] == tail
    assert (record["procedures"]["iap"], record["procedures"]["iap_trans"]) == (iap, trans)
    # the waypoints keep the full approach name as their airway
    assert record["detailed_waypoints"][-1]["airway"] == approach


def test_direct_arrival_ends_with_last_fix_and_airport():
    star = [("ENTRY", 50.0, 12.0, 10), ("ZZZZAPT", 50.05, 12.3, 20)]
    plan = make_plan(star_points=star, iap_points=[], star="DIRECT", approach="N/A",
                     approach_runway="N/A")
    record = core_calc.format_for_api(plan)
    assert record["route_string"] == "AAAA SID1A EXIT A1 ENTRY ZZZZ"
    assert waypoints(record)[-2:] == [("ENTRY", "A1", None), ("ZZZZAPT", "DIRECT", "20")]
    assert record["procedures"] == {"sid": "SID1A", "star": "DIRECT", "iap": "N/A",
                                    "iap_trans": None}


def test_direct_departure_tokens():
    sid = [("AAAAAPT", 49.9, 9.8, 10), ("EXIT", 50.0, 10.0, 20)]
    plan = make_plan(sid_points=sid, sid="DCT")
    record = core_calc.format_for_api(plan)
    assert record["route_string"].startswith("AAAA DCT EXIT A1 ENTRY")
    assert waypoints(record)[:2] == [("AAAAAPT", "DCT", "10"), ("EXIT", "DCT", "20")]


@pytest.mark.parametrize("fields, route", [
    pytest.param({"star": "ENTRY"}, "AAAA SID1A EXIT A1 ENTRY I09 ZZZZ",
                 id="star-named-like-last-fix"),
    pytest.param({"sid": "EXIT"}, "AAAA EXIT A1 ENTRY STAR1A I09 ZZZZ",
                 id="sid-named-like-its-exit"),
    pytest.param({"sid": "DCT", "route_ids": ["DCT", "A1"]},
                 "AAAA DCT EXIT DCT MID A1 ENTRY STAR1A I09 ZZZZ",
                 id="token-coming-back-later-stays"),
    pytest.param({"approach": "STAR1A"}, "AAAA SID1A EXIT A1 ENTRY STAR1A ZZZZ",
                 id="approach-named-like-star"),
])
def test_consecutive_repeated_tokens_written_once(fields, route):
    assert core_calc.format_for_api(make_plan(**fields))["route_string"] == route


def test_plan_stored_as_json_gives_the_same_record():
    plan = make_plan(dep_connectors=[("DCT", ("JOIN", 50.0, 10.5), 30.0)],
                     arr_connectors=[("DCT", "ENTRY", 3.0)])
    core_calc.AIRWAY_META = {("A1", ENROUTE[0]): {"seqno": "30", "direction_restriction": "F"}}
    stored = json.loads(json.dumps(plan))
    assert core_calc.format_for_api(stored) == core_calc.format_for_api(plan)


# --- malformed plans -----------------------------------------------------------


@pytest.mark.parametrize("key", ["points", "sid", "star", "approach", "departure", "arrival",
                                 "distance"])
def test_plan_without_a_required_field(key):
    plan = make_plan()
    del plan[key]
    with pytest.raises(KeyError, match=key):
        core_calc.format_for_api(plan)


@pytest.mark.parametrize("key", ["sid", "star", "iap"])
def test_points_without_a_list(key):
    plan = make_plan()
    del plan["points"][key]
    with pytest.raises(KeyError, match=key):
        core_calc.format_for_api(plan)


@pytest.mark.parametrize("where", ["sid", "star", "iap"])
def test_point_with_fewer_than_four_elements(where):
    plan = make_plan()
    plan["points"][where] = [plan["points"][where][0], ("SHORT", 50.0, 11.0)]
    with pytest.raises(ValueError, match="sequence number.*SHORT"):
        core_calc.format_for_api(plan)


@pytest.mark.parametrize("node_key", [("MID", 50.0), "MID", 42])
def test_node_key_with_fewer_than_three_elements(node_key):
    plan = make_plan(enroute=[node_key, ENROUTE[1]])
    with pytest.raises(ValueError, match="node key"):
        core_calc.format_for_api(plan)


@pytest.mark.parametrize("fields, error, match", [
    ({"distance": "812"}, TypeError, "distance"),
    ({"distance": float("nan")}, ValueError, "NaN"),
    ({"approach": None}, TypeError, "approach"),
    ({"route_ids": ["A1", None]}, TypeError, "route id"),
    ({"enroute": "MID"}, TypeError, "enroute"),
    ({"arr_connectors": [("DCT",)]}, ValueError, "connector"),
    ({"sid": 7}, TypeError, "sid"),
])
def test_malformed_fields_are_named(fields, error, match):
    with pytest.raises(error, match=match):
        core_calc.format_for_api(make_plan(**fields))


def test_point_with_text_coordinates():
    plan = make_plan(sid_points=[("DEP01", "50.0", 9.5, 10), ("EXIT", 50.0, 10.0, 20)])
    with pytest.raises(TypeError, match="latitude"):
        core_calc.format_for_api(plan)


@pytest.mark.parametrize("plan", [["not", "a", "plan"], "plan", 5])
def test_plan_that_is_not_a_mapping(plan):
    with pytest.raises(TypeError, match="mapping"):
        core_calc.format_for_api(plan)


@pytest.mark.parametrize("key", [None, "route_ids", "enroute", "dep_connectors",
                                 "arr_connectors"])
def test_optional_lists_may_be_missing_or_none(key):
    plan = make_plan()
    if key:
        plan[key] = None
        assert core_calc.format_for_api(plan) is not None
        del plan[key]
    assert core_calc.format_for_api(plan) is not None


def test_deleted_module_attribute_is_a_name_error():
    del core_calc.recommendeddep
    with pytest.raises(NameError, match="recommendeddep"):
        core_calc.format_for_api(make_plan())


# --- plans from the planner ----------------------------------------------------

LINE = [("P1", 50.0, 10.0), ("P2", 50.0, 11.0), ("P3", 50.0, 12.0), ("P4", 50.0, 13.0)]


@pytest.fixture
def line_db(db_path):
    """One airway P1..P4 eastwards; AAAA has a SID ending on P1, BBBB and ZZZZ
    have no procedures at all, only a reference point near one end."""
    db = NavDb(db_path)
    db.airway("A1", 1, LINE)
    db.insert("tbl_sids",
              ("AAAA", "SID1A", "ALL", 10, "DEP01", 50.0, 9.5),
              ("AAAA", "SID1A", "ALL", 20, "P1", 50.0, 10.0))
    db.insert("airports", ("AAAA", 50.0, 9.4), ("BBBB", 50.0, 9.5), ("ZZZZ", 50.0, 13.5))
    db.close()
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    return db_path


@pytest.mark.parametrize("dep, sid, first", [
    ("AAAA", "SID1A", ("DEP01", "SID1A", 10)),
    ("BBBB", "DCT", ("BBBBAPT", "DCT", "10")),
])
def test_planned_direct_arrival(line_db, dep, sid, first):
    best, alternatives = core_calc.generate_flight_plan(dep, "ZZZZ")
    assert (best["star"], best["approach"]) == ("DIRECT", "N/A")
    record = core_calc.format_for_api(best)
    assert record["route_string"] == f"{dep} {sid} P1 A1 P4 ZZZZ"
    assert waypoints(record) == [
        (first[0], first[1], str(first[2])), ("P1", sid, "20"),
        ("P2", "A1", "20"), ("P3", "A1", "30"), ("P4", "A1", "40"),
        ("ZZZZAPT", "DIRECT", "20"),
    ]
    assert record["procedures"] == {"sid": sid, "star": "DIRECT", "iap": "N/A",
                                    "iap_trans": None}
    assert (record["dep_runway"], record["arr_runway"]) == ("N/A", "N/A")


@pytest.fixture(scope="module")
def tiny_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("navdb") / "tiny.db"
    summary = gen_navdb.generate(str(path), "tiny")
    return str(path), summary["demo_pair"]


def airway_rows(path):
    with sqlite3.connect(path) as conn:
        return conn.execute("SELECT route_identifier, waypoint_identifier, seqno, "
                            "direction_restriction FROM airway_segments").fetchall()


def test_planned_route_on_a_generated_database(tiny_db):
    path, (dep, arr) = tiny_db
    core_calc.DB_PATH = path
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    best, _ = core_calc.generate_flight_plan(dep, arr)
    record = core_calc.format_for_api(best)
    assert json.loads(json.dumps(record)) == record

    tokens = record["route_string"].split()
    assert tokens[:3] == [dep, best["sid"], best["points"]["sid"][-1][0]]
    assert tokens[-1] == arr
    assert set(best["route_ids"]) <= set(tokens)

    # En-route waypoints carry the sequence number and restriction of their
    # airway row in the database.
    rows = {}
    for route, name, seqno, restriction in airway_rows(path):
        rows.setdefault((route, name), set()).add((str(seqno), restriction or None))
    enroute_names = {key[0] for key in best["enroute"]}
    checked = 0
    for w in record["detailed_waypoints"]:
        if w["name"] in enroute_names and w["airway"] in best["route_ids"]:
            assert (w["seqno"], w["direction_restriction"]) in rows[(w["airway"], w["name"])]
            checked += 1
    assert checked >= 1

    sid_names = [p[0] for p in best["points"]["sid"]]
    assert names(record)[:len(sid_names)] == sid_names
    assert record["detailed_waypoints"][-1]["name"] == (best["points"]["iap"]
                                                         or best["points"]["star"])[-1][0]
    assert core_calc.format_for_api(json.loads(json.dumps(best))) == record


# --- the demonstration ---------------------------------------------------------


def test_demo_prints_the_record_and_draws_the_route(tiny_db, tmp_path):
    path, (dep, arr) = tiny_db
    env = dict(os.environ)
    module_dir = os.path.dirname(os.path.abspath(core_calc.__file__))
    env["PYTHONPATH"] = os.pathsep.join(p for p in (module_dir, env.get("PYTHONPATH")) if p)
    demo = os.path.join(os.path.dirname(__file__), "..", "tools", "demo.py")
    run = subprocess.run([sys.executable, demo, path], cwd=tmp_path, env=env, timeout=300,
                         capture_output=True, text=True, encoding="utf-8")
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    start = lines.index("{")
    record = json.loads("\n".join(lines[start:-1]))
    assert lines[-1] == record["route_string"]
    assert (record["origin"], record["destination"]) == (dep, arr)

    svg = ElementTree.parse(tmp_path / "route.svg").getroot()
    ns = "{http://www.w3.org/2000/svg}"
    texts = {t.text for t in svg.iter(ns + "text")}
    assert {dep, arr} <= texts
    assert record["detailed_waypoints"][0]["name"] in texts
    svg_lines = list(svg.iter(ns + "line"))
    assert any(line.get("class") == "net" for line in svg_lines)  # the airway network around
    leg_colours = {line.get("stroke") for line in svg_lines if line.get("stroke-width") == "3.5"}
    assert len(leg_colours) == 4  # SID, en route, STAR and approach each in their own colour
