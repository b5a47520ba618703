"""Loading the airway network from a navigation database, and its host views."""
import gc
import math
import random
import struct
import sqlite3
import threading

import pytest

import core_calc
from core_calc import vectorized_haversine
from navdb import NavDb

P1, P2, P3 = ("P1", 10.0, 20.0), ("P2", 10.0, 21.0), ("P3", 10.5, 22.0)


def node(name, lat, lon):
    return (name, lat, lon)


@pytest.fixture
def db(db_path):
    nav = NavDb(db_path)
    yield nav
    nav.close()


def load(capsys=None):
    net = core_calc.init_network()
    return net


def edges(net):
    return {(u[0], v[0]): entry for u in net.graph for v, entry in net.graph[u].items()}


def test_three_points_give_four_directed_edges(db, capsys):
    db.airway("A1", 1, [P1, P2, P3])
    net = core_calc.init_network()
    out = capsys.readouterr().out.splitlines()
    assert out == ["🚀 [System] Initializing airway network (Unique Nodes)...",
                   "✅ Network initialized: 4 segments. Unique Nodes Active."]
    d12 = vectorized_haversine(10.0, 20.0, 10.0, 21.0)
    d23 = vectorized_haversine(10.0, 21.0, 10.5, 22.0)
    assert edges(net) == {("P1", "P2"): (d12, "A1"), ("P2", "P1"): (d12, "A1"),
                          ("P2", "P3"): (d23, "A1"), ("P3", "P2"): (d23, "A1")}
    assert list(net.coord_map.items()) == [(P1, (10.0, 20.0)), (P2, (10.0, 21.0)),
                                           (P3, (10.5, 22.0))]
    assert list(net.graph) == [P1, P2, P3]
    assert core_calc.GLOBAL_NETWORK is None


@pytest.mark.parametrize("restriction,expected", [
    ("F", {("P1", "P2"), ("P2", "P3"), ("P3", "P2")}),
    ("B", {("P2", "P1"), ("P2", "P3"), ("P3", "P2")}),
    ("f", {("P1", "P2"), ("P2", "P3"), ("P3", "P2")}),
    ("FB", {("P2", "P3"), ("P3", "P2")}),
    ("", {("P1", "P2"), ("P2", "P1"), ("P2", "P3"), ("P3", "P2")}),
])
def test_the_later_rows_restriction_governs_its_pair(db, restriction, expected):
    db.airway("A1", 1, [P1, P2 + (20, restriction), P3])
    assert set(edges(core_calc.init_network())) == expected


def test_first_row_restriction_governs_nothing_and_ignore_flag(db, capsys):
    db.airway("A1", 1, [P1 + (10, "B"), P2 + (20, "F"), P3 + (30, "FB")])
    assert set(edges(core_calc.init_network())) == {("P1", "P2")}
    core_calc.IGNORE_AIRWAY_DIRECTION = True
    net = core_calc.init_network()
    assert len(edges(net)) == 4
    assert core_calc.AIRWAY_META[("A1", P3)] == {"seqno": "30", "direction_restriction": "FB"}
    assert capsys.readouterr().out.endswith("✅ Network initialized: 4 segments. Unique Nodes Active.\n")


def test_airway_meta_records_every_row(db):
    db.airway("A1", 1, [P1 + (10, "f"), P2 + (None, None), P3 + ("7b", "")])
    db.airway("A1", 2, [P1 + (10.5, "B")])
    net = core_calc.init_network()
    meta = core_calc.AIRWAY_META
    assert dict(meta) == {
        ("A1", P1): {"seqno": "10.5", "direction_restriction": "B"},
        ("A1", P2): {"seqno": None, "direction_restriction": None},
        ("A1", P3): {"seqno": "7b", "direction_restriction": None},
    }
    assert list(meta)[0] == ("A1", P2)  # a null sequence number sorts first
    assert meta.get(("A9", P1)) is None and ("A1", ("P1", 0, 0)) not in meta
    assert len(net.coord_map) == 3


def test_segments_nodes_and_grid(db):
    shared = ("S", 11.0, 21.0)
    db.airway("A1", 1, [("LONE", 12.0, 22.0)])
    db.airway("A1", 2, [P1, shared])
    db.airway("A2", 3, [shared, P3])
    db.airway("A3", 4, [P1, shared])  # same pair as segment 2, later rows win
    net = core_calc.init_network()
    assert ("LONE", 12.0, 22.0) in net.coord_map and len(net.graph[("LONE", 12.0, 22.0)]) == 0
    assert ("LONE", 12.0, 22.0) not in net.graph
    assert net.graph[P1][shared][1] == "A3"
    assert set(net.graph[shared]) == {P1, P3}
    cell = net.spatial_index.grid[(11, 21)]
    assert cell.count((shared, 11.0, 21.0)) == 3


def as_float32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


@pytest.mark.parametrize("stored,expected", [
    (31.12341, 31.1234), (31.12344, 31.1234), (45.12345, 45.1235), (22.30865, 22.3086),
    (0.03125, 0.0312), (0.09375, 0.0938), (179.99999, 180.0)])
def test_coordinates_are_rounded_from_their_32_bit_value(db, stored, expected):
    db.airway("A1", 1, [("X", stored, stored), ("Y", 0.0, 0.0)])
    net = core_calc.init_network()
    assert list(net.coord_map)[0] == ("X", expected, expected)


def test_rounding_matches_decimal_rounding_of_the_32_bit_value(db):
    rng = random.Random(7)
    values = [rng.uniform(-180, 180) for _ in range(3000)]
    values += [k / 20000 + 0.5 / 20000 for k in range(-400, 400)]  # near-ties
    db.airway("A1", 1, [(f"W{i}", v / 2, v) for i, v in enumerate(values)])
    keys = list(core_calc.init_network().coord_map)
    for key, v in zip(keys, values):
        assert key[1:] == (round(as_float32(v / 2), 4), round(as_float32(v), 4))


def test_same_name_is_one_node_only_at_the_same_rounded_position(db):
    db.airway("A1", 1, [("W", 31.12341, 5.0), ("V", 32.0, 5.0)])
    db.airway("A2", 2, [("W", 31.12344, 5.0), ("V2", 30.0, 5.0)])
    db.airway("A3", 3, [("W", 31.1236, 5.0), ("V3", 30.0, 6.0)])
    names = [k for k in core_calc.init_network().coord_map if k[0] == "W"]
    assert names == [("W", 31.1234, 5.0), ("W", 31.1236, 5.0)]


def test_table_suffix_groups_by_airway(db_path):
    nav = NavDb(db_path, tables=["tbl_enroute_airways"])
    nav.insert("tbl_enroute_airways", ("A1", "P3", 10.5, 22.0, 30, None),
               ("A1", "P1", 10.0, 20.0, 10, None), ("B1", "P2", 10.0, 21.0, 5, None))
    core_calc.TABLE_SUFFIX = ""
    nav.insert("tbl_enroute_airways", ("A1", "P2", 10.0, 21.0, 20, None))
    nav.conn.execute("ALTER TABLE tbl_enroute_airways RENAME TO tbl_enroute_airways_X")
    nav.conn.commit()
    core_calc.TABLE_SUFFIX = "_X"
    net = core_calc.init_network()
    assert set(edges(net)) == {("P1", "P2"), ("P2", "P1"), ("P2", "P3"), ("P3", "P2")}


def test_segments_of_one_airway_are_not_joined_without_suffix(db):
    db.airway("A1", 1, [P1, P2])
    db.airway("A1", 2, [P3, ("P4", 11.0, 23.0)])
    assert set(edges(core_calc.init_network())) == {("P1", "P2"), ("P2", "P1"), ("P3", "P4"),
                                                     ("P4", "P3")}


@pytest.fixture
def previous_meta(tmp_path):
    """AIRWAY_META of an earlier successful load, which a failed load must keep."""
    NavDb(tmp_path / "good.db").airway("A1", 1, [P1, P2]).close()
    core_calc.DB_PATH = str(tmp_path / "good.db")
    core_calc.init_network()
    meta = core_calc.AIRWAY_META
    assert len(meta) == 2
    return meta


def test_missing_file(tmp_path, capsys, previous_meta):
    core_calc.GLOBAL_NETWORK = sentinel = core_calc.RouteNetwork()
    core_calc.DB_PATH = str(tmp_path / "nope.db")
    net = core_calc.init_network()
    assert len(net.graph) == len(net.coord_map) == 0
    assert core_calc.AIRWAY_META is previous_meta
    assert core_calc.GLOBAL_NETWORK is sentinel
    assert f"Error: Database file '{tmp_path / 'nope.db'}' not found." in capsys.readouterr().out
    assert not (tmp_path / "nope.db").exists()


@pytest.mark.parametrize("make_bad,message", [
    (lambda p: NavDb(p, tables=["airports"]).close(), "no such table: airway_segments"),
    (lambda p: p.write_bytes(b"this is not a database" * 100), "file is not a database"),
    (lambda p: sqlite3.connect(p).execute(
        "CREATE TABLE airway_segments (route_identifier, waypoint_identifier)").connection.commit(),
     "no such column"),
    (lambda p: NavDb(p).airway("A1", 1, [("X", "N/A", 1.0)]).close(),
     "could not convert string to float: 'N/A'"),
    # Reading fails long after a row that cannot be walked: the read error is reported.
    (lambda p: NavDb(p).airway("A1", 1, [("W0", None, 1.0)] + [
        (f"W{i}", 0.001 * i, 1.0) for i in range(1, 9000)] + [("X", "N/A", 1.0)]).close(),
     "could not convert string to float: 'N/A'"),
])
def test_guarded_failures_give_an_empty_network(tmp_path, capsys, previous_meta, make_bad,
                                                 message):
    path = tmp_path / "bad.db"
    make_bad(path)
    core_calc.DB_PATH = str(path)
    net = core_calc.init_network()
    assert len(net.coord_map) == 0 and core_calc.AIRWAY_META is previous_meta
    out = capsys.readouterr().out
    assert "Error loading network from DB: " in out and message in out


@pytest.mark.parametrize("bad_row,rows", [(1, 3), (3000, 5000)])
def test_null_coordinate_while_walking_reaches_the_caller(tmp_path, previous_meta, bad_row,
                                                          rows):
    points = [(f"W{i}", 0.001 * i, 20.0) for i in range(rows)]
    points[bad_row] = ("BAD", None, 20.0)
    NavDb(tmp_path / "bad.db").airway("A1", 1, points).close()
    core_calc.DB_PATH = str(tmp_path / "bad.db")
    with pytest.raises(ValueError):
        core_calc.init_network()
    # The metadata of the network still in use stays whole and readable.
    assert core_calc.AIRWAY_META is previous_meta
    assert core_calc.AIRWAY_META[("A1", P1)] == {"seqno": "10", "direction_restriction": None}


def test_unopenable_database_reaches_the_caller(tmp_path):
    core_calc.DB_PATH = str(tmp_path)  # a directory exists but cannot be opened
    with pytest.raises(sqlite3.OperationalError):
        core_calc.init_network()


def test_text_coordinates_that_spell_numbers_load(db):
    db.airway("A1", 1, [("T", " 10.5 ", "20"), P1])
    assert ("T", 10.5, 20.0) in core_calc.init_network().coord_map


def test_long_and_non_ascii_names(db):
    long_name, odd = "W" * 10000, "ÖSTRA✈"
    db.airway("Ä1", 1, [(long_name, 1.0, 1.0), (odd, 1.0, 2.0)])
    net = core_calc.init_network()
    assert net.graph[(long_name, 1.0, 1.0)][(odd, 1.0, 2.0)][1] == "Ä1"
    assert core_calc.AIRWAY_META[("Ä1", (odd, 1.0, 2.0))]["seqno"] == "20"


@pytest.mark.parametrize("rows,paused", [(999, False), (2000, True)])
def test_pause_after_every_thousand_rows(db, rows, paused):
    db.airway("A1", 1, [(f"W{i}", 0.001 * i, 0.0) for i in range(rows)])
    _, stats = core_calc._profile_init_network()
    assert stats["rows"] == rows
    assert (stats["pause_seconds"] >= 0.002) == paused


@pytest.mark.concurrency
def test_other_host_threads_run_while_loading(db):
    db.airway("A1", 1, [(f"W{i}", 0.0001 * i, 0.0) for i in range(20000)])
    ticks = []
    done = threading.Event()

    def tick():
        while not done.is_set():
            ticks.append(1)

    worker = threading.Thread(target=tick)
    worker.start()
    try:
        core_calc.init_network()
    finally:
        done.set()
        worker.join()
    assert ticks


def test_views_lookups_never_insert_and_outlive_the_network(db):
    db.airway("A1", 1, [P1, P2])
    db.airway("A2", 2, [P3 + (10, None)])
    net = core_calc.init_network()
    graph, coords, meta = net.graph, net.coord_map, core_calc.AIRWAY_META
    assert graph[P3] == {} and graph.get(P3) is None and P3 not in graph and len(graph) == 2
    assert graph[("NOWHERE", 0.0, 0.0)] == {} and len(graph) == 2
    with pytest.raises(KeyError):
        coords[("NOWHERE", 0.0, 0.0)]
    assert coords.get("not a key") is None and ("x",) not in coords
    del net
    gc.collect()
    assert graph[P1][P2][1] == "A1" and coords[P3] == (10.5, 22.0) and len(meta) == 3


def test_a_network_built_by_hand(db):
    net = core_calc.RouteNetwork()
    a, b = ("A", 1.0, 1.0), ("B", 1.0, 2.0)
    net.add_edge(a, b, 111.0, "R1")
    net.add_edge(b, ("C", 1, 3), 5.0, "R2", is_bidirectional=False)
    net.add_edge(a, b, 99.0, "R3", False)  # replaces in place
    assert list(net.graph[a].items()) == [(b, (99.0, "R3"))]
    assert dict(net.graph[b]) == {a: (111.0, "R1"), ("C", 1.0, 3.0): (5.0, "R2")}
    assert len(net.coord_map) == 0
    c = ("C", 1.0, 3.0)
    net.coord_map[a] = (1.0, 1.0)
    net.coord_map[c] = (7.0, 8.0)  # away from its key, and out of node order
    net.coord_map[b] = [1.0, 2.0]
    net.coord_map[a] = (1.5, 1.0)  # keeps its place
    assert list(net.coord_map.items()) == [(a, (1.5, 1.0)), (c, (7.0, 8.0)), (b, (1.0, 2.0))]
    net.spatial_index.add_point(a, 1.0, 1.0)
    net.spatial_index.add_point(b, 1.0, 2.5)  # away from its key
    net.spatial_index.add_point(b, 1.0, 2.0)
    assert net.spatial_index.query_nearest(1.0, 1.0) == (a, 0.0)
    assert list(net.spatial_index.grid[(1, 2)]) == [(b, 1.0, 2.5), (b, 1.0, 2.0)]
    assert net.spatial_index.query_nearest(1.0, 2.5, 10) == (b, 0.0)
    zero = ("Z", 0.0, 0.0)
    net.spatial_index.add_point(zero, -0.0, 0.0)  # filed as given, sign and all
    assert math.copysign(1.0, net.spatial_index.grid[(0, 0)][0][1]) == -1.0
    with pytest.raises(TypeError):
        net.add_edge("A", b, 1.0, "R")
    with pytest.raises(TypeError):
        net.coord_map[a] = (1.0,)
    with pytest.raises(TypeError):
        net.spatial_index.add_point("not a key", 1.0, 1.0)
    with pytest.raises(AttributeError):
        net.graph = {}
    with pytest.raises(AttributeError):
        net.extra = 1


def test_editing_a_loaded_network_leaves_views_of_others_alone(db):
    db.airway("A1", 1, [P1, P2])
    net = core_calc.init_network()
    meta = core_calc.AIRWAY_META
    net.add_edge(P2, P3, 1.0, "NEW")
    net.coord_map[P3] = (10.5, 22.0)
    assert net.graph[P2][P3] == (1.0, "NEW") and len(meta) == 2


def test_loading_matches_a_row_by_row_reference(db):
    """Random airways with shared waypoints, restrictions and repeated pairs, checked
    against a plain walk of the rows in query order."""
    rng = random.Random(11)
    names = [f"W{i}" for i in range(400)]
    position = {n: (rng.uniform(-10, 10), rng.uniform(-10, 10)) for n in names}
    rows = []
    for segment in range(700):
        route = f"R{rng.randrange(60)}"
        for k in range(rng.randrange(1, 14)):
            name = rng.choice(names)
            restriction = rng.choice([None, "", "F", "B", "f", "FB", None, None])
            rows.append((route, name, *position[name], (k + 1) * 10, restriction, segment))
    rng.shuffle(rows)
    db.insert("airway_segments", *rows)
    net = core_calc.init_network()

    graph, coords, meta = {}, {}, {}
    previous, current_segment = None, None
    for route, name, lat, lon, seqno, restriction, segment in sorted(rows, key=lambda r: (r[6], r[4])):
        key = (name, round(as_float32(lat), 4), round(as_float32(lon), 4))
        coords.setdefault(key, key[1:])
        meta[(route, key)] = {"seqno": str(seqno), "direction_restriction": restriction or None}
        if current_segment == segment and previous is not None:
            d = vectorized_haversine(previous[1], previous[2], key[1], key[2])
            upper = (restriction or "").upper()
            if "B" not in upper:
                graph.setdefault(previous, {})[key] = (d, route)
            if "F" not in upper:
                graph.setdefault(key, {})[previous] = (d, route)
        else:
            current_segment = segment
        previous = key
    assert list(net.coord_map.items()) == list(coords.items())
    assert [(k, list(v.items())) for k, v in graph.items()] == [
        (k, list(net.graph[k].items())) for k in net.graph]
    assert list(core_calc.AIRWAY_META.items()) == list(meta.items())


def test_zero_grid_size_while_walking_reaches_the_caller(db):
    db.airway("A1", 1, [(f"W{i}", 0.01 * i, 1.0) for i in range(300)])
    core_calc.GRID_SIZE = 0
    with pytest.raises(ZeroDivisionError):
        core_calc.init_network()
