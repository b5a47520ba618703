"""import_navdata: X-Plane-format data files into a navigation database the module reads.

Small files are written here from the public format descriptions; the hand-made world
of tests/fixtures/navimport/world (two airports with procedures joined by airways)
serves the procedure and end-to-end tests.
"""
import gzip
import math
import os
import pathlib
import sqlite3

import pytest

import core_calc

WORLD = pathlib.Path(__file__).parent / "fixtures" / "navimport" / "world"
TABLES = ["airway_segments", "tbl_enroute_airways", "airports", "tbl_runways", "tbl_sids",
          "tbl_stars", "tbl_iaps", "waypoints", "navdata_metadata"]


def dat(version, *records, closed=True):
    """A data file: origin line, version line, records, and the closing '99'."""
    text = f"I\n{version} Version - written for the tests\n\n" + "\n".join(records) + "\n"
    return text + ("99\n" if closed else "")


def write(path, text, compressed=False):
    """Writes text as UTF-8 (bytes as they are), gzip-compressed on request."""
    path = pathlib.Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    data = text if isinstance(text, bytes) else text.encode()
    if compressed:
        path = path.with_name(path.name + ".gz")
        path.write_bytes(gzip.compress(data))
    else:
        path.write_bytes(data)
    return path


def query(db, sql, *params):
    with sqlite3.connect(db) as conn:
        return conn.execute(sql, params).fetchall()


def runway_row(first, first_pos, second, second_pos, displaced=(0.0, 0.0)):
    """A land runway row (26 fields) with both ends."""
    ends = []
    for name, (lat, lon), disp in ((first, first_pos, displaced[0]),
                                   (second, second_pos, displaced[1])):
        ends.append(f"{name} {lat:.8f} {lon:.8f} {disp:.2f} 0.00 3 0 0 1")
    return "100 45.00 1 0 0.25 1 3 0 " + " ".join(ends)


FIXES = {
    600: dat(600, " 45.000000  007.000000 ALPHA", " 45.500000  007.500000 BRAVO"),
    1101: dat(1101, " 45.000000  007.000000 ALPHA ENRT LS 2105430",
              " 45.500000  007.500000 BRAVO ENRT LS 2105430"),
    1200: dat(1200, " 45.000000000    7.000000000 ALPHA ENRT LS 2105430 ALPHA",
              " 45.500000000    7.500000000 BRAVO ENRT LS 2105430 BRAVO"),
}
NAVAIDS = {
    810: dat(810, "2  45.00000000  007.00000000    0   350  50    0.0 AL   ALPHA NDB",
             "3  45.50000000  007.50000000  500 11310 130    2.0 BRV  BRAVO VOR/DME",
             "12 45.50000000  007.50000000  500 11310 130    0.0 BRV  BRAVO VOR/DME"),
    1150: dat(1150, "2  45.00000000  007.00000000    0   350  50    0.0 AL   ENRT LS ALPHA NDB",
              "3  45.50000000  007.50000000  500 11310 130    2.0 BRV  ENRT LS BRAVO VOR/DME",
              "99999 45.0 7.0 0 0 0 0.0 ZZZ ENRT LS FUTURE"),
    1200: dat(1200, "2  45.00000000  007.00000000    0   350  50    0.0 AL   ENRT LS ALPHA NDB",
              "13 45.50000000  007.50000000  500 11310 130    0.0 BRV  ENRT LS BRAVO DME"),
}
REFERENCES = {"fix": "ALPHA LS 11 BRAVO LS 11 N 1 50 180 A1",
              "navaid": "AL LS 2 BRV LS 3 N 1 50 180 A1"}
APT = [
    "1 1500 0 0 LSZH Z\xfcrich",
    runway_row("14", (47.48, 8.53), "32", (47.46, 8.56)),
]
EXPECTED_AIRWAY = [("A1", 45.0, 7.0), ("A1", 45.5, 7.5)]


def format_cases():
    """(name, files written, expected airway rows or airport rows) per format and version."""
    for version, text in FIXES.items():
        name = "fix.dat" if version == 600 else "earth_fix.dat"
        yield (f"fix {version}", {name: text, "earth_awy.dat": dat(1100, REFERENCES["fix"])},
               EXPECTED_AIRWAY)
    for version, text in NAVAIDS.items():
        name = "nav.dat" if version == 810 else "earth_nav.dat"
        yield (f"nav {version}", {name: text, "earth_awy.dat": dat(1100, REFERENCES["navaid"])},
               EXPECTED_AIRWAY)
    yield ("awy 640", {"awy.dat": dat(640, "ALPHA 45.000000 007.000000 BRAVO 45.500000 "
                                           "007.500000 1 050 180 A1")}, EXPECTED_AIRWAY)
    for version in (1000, 1100, 1200):  # names in older files may be Latin-1
        text = dat(version, *APT)
        yield (f"apt {version}", {"apt.dat": text.encode("latin-1") if version == 1000 else text},
               [("LSZH", "Zürich", 47.47, 8.545)])
    yield ("cifp", {"earth_fix.dat": FIXES[1200],
                    "CIFP/LSZH.dat": "SID:010,2,ALP1, ,ALPHA,LS,E,A,E   , ,   ,IF, , , ;\n"
                                     "SID:020,2,ALP1, ,BRAVO,LS,E,A,E   , ,   ,TF, , , ;\n"},
           [("LSZH", "ALP1", "ALL", 10, "ALPHA"), ("LSZH", "ALP1", "ALL", 20, "BRAVO")])


CASES = list(format_cases())


@pytest.mark.parametrize("compressed", [False, True], ids=["plain", "gzip"])
@pytest.mark.parametrize("name,files,expected", CASES, ids=[c[0] for c in CASES])
def test_each_format_and_version(tmp_path, name, files, expected, compressed):
    for file_name, text in files.items():
        write(tmp_path / "data" / file_name, text, compressed)
    db = tmp_path / "nav.db"
    counts = core_calc.import_navdata(str(tmp_path / "data"), str(db))
    assert list(counts) == TABLES
    if name.startswith("apt"):
        got = query(db, "SELECT airport_identifier, airport_name, airport_ref_latitude, "
                        "airport_ref_longitude FROM airports")
        assert [(i, n, round(a, 6), round(o, 6)) for i, n, a, o in got] == expected
        assert counts["tbl_runways"] == 2
    elif name == "cifp":
        assert query(db, "SELECT airport_identifier, procedure_identifier, "
                         "transition_identifier, seqno, waypoint_identifier FROM tbl_sids") == expected
    else:
        got = query(db, "SELECT route_identifier, waypoint_latitude, waypoint_longitude "
                        "FROM airway_segments ORDER BY seqno")
        assert got == expected
        assert counts["airway_segments"] == counts["tbl_enroute_airways"] == 2


def airway_world(tmp_path, *awy_lines, fixes):
    """An earth_fix.dat with `fixes` (name -> (lat, lon)) and an earth_awy.dat; imported."""
    fix_lines = [f"{lat:.6f} {lon:.6f} {name} ENRT XX 0" for name, (lat, lon) in fixes.items()]
    write(tmp_path / "earth_fix.dat", dat(1101, *fix_lines))
    write(tmp_path / "earth_awy.dat", dat(1100, *awy_lines))
    db = tmp_path / "nav.db"
    core_calc.import_navdata([tmp_path / "earth_fix.dat", tmp_path / "earth_awy.dat"], db)
    return db


def load_network(db, capsys):
    core_calc.DB_PATH = str(db)
    net = core_calc.init_network()
    capsys.readouterr()
    return net


def directed_edges(net, route=None):
    """{(from name, to name)} of the loaded graph."""
    return {(u[0], v[0]) for u in net.graph for v, (_, r) in net.graph[u].items()
            if route is None or r == route}


def segment(a, b, direction="N", names="A1"):
    return f"{a} XX 11 {b} XX 11 {direction} 1 50 180 {names}"


def test_one_way_airways_restrict_the_network(tmp_path, capsys):
    fixes = {"P1": (10.0, 20.0), "P2": (10.0, 20.5), "P3": (10.0, 21.0), "P4": (10.0, 21.5),
             "Q1": (12.0, 20.0), "Q2": (12.0, 20.5), "R1": (14.0, 20.0), "R2": (14.0, 20.5)}
    db = airway_world(tmp_path,
                      segment("P1", "P2", "F"),  # P1 -> P2 only
                      segment("P3", "P2", "F"),  # P3 -> P2 only, listed against the chain
                      segment("P3", "P4", "B"),  # P4 -> P3 only
                      segment("Q1", "Q2", "F", "B9"),  # listed once per level, same way
                      segment("Q2", "Q1", "B", "B9"),
                      segment("R1", "R2", "B", "C7"),  # listed both ways: usable both ways
                      segment("R2", "R1", "B", "C7"), fixes=fixes)
    net = load_network(db, capsys)
    assert directed_edges(net, "A1") == {("P1", "P2"), ("P3", "P2"), ("P4", "P3")}
    assert directed_edges(net, "B9") == {("Q1", "Q2")}
    assert directed_edges(net, "C7") == {("R1", "R2"), ("R2", "R1")}
    restrictions = query(db, "SELECT DISTINCT direction_restriction FROM airway_segments")
    assert set(restrictions) == {("F",), ("B",), (None,)}


# An airway's segments as listed (in any order); every shape must come out with each
# segment once and no edge that is not a segment.
SHAPES = {
    "crosses itself": [("P1", "X"), ("X", "P3"), ("P3", "P4"), ("P4", "X"), ("X", "P6")],
    "branches": [("P1", "X"), ("X", "P3"), ("X", "P6")],
    "has a gap": [("P1", "X"), ("P3", "P4")],
    "is a ring": [("P1", "X"), ("X", "P3"), ("P3", "P4"), ("P4", "P1")],
    "is listed backwards": [("P4", "P3"), ("P3", "X"), ("X", "P1")],
}
PLACES = {"P1": (10.0, 20.0), "X": (10.5, 20.5), "P3": (11.0, 21.0), "P4": (11.0, 20.0),
          "P6": (10.0, 21.0)}


@pytest.mark.parametrize("shape", SHAPES)
def test_airway_pieces_keep_every_segment_once(tmp_path, capsys, shape):
    listed = SHAPES[shape]
    db = airway_world(tmp_path, *[segment(a, b) for a, b in reversed(listed)], fixes=PLACES)
    net = load_network(db, capsys)
    expected = {(a, b) for a, b in listed} | {(b, a) for a, b in listed}
    assert directed_edges(net) == expected
    rows = query(db, "SELECT segment_uid, seqno, waypoint_identifier FROM airway_segments "
                     "ORDER BY segment_uid, seqno")
    pieces = {}
    for uid, _, name in rows:
        pieces.setdefault(uid, []).append(name)
    assert sum(len(p) - 1 for p in pieces.values()) == len(listed)
    seqnos = [s for _, s, _ in rows]
    assert seqnos == sorted(seqnos) and len(set(seqnos)) == len(seqnos)
    if shape == "crosses itself":  # one piece, straight on through the crossing
        assert list(pieces.values()) in (
            [["P1", "X", "P3", "P4", "X", "P6"]], [["P6", "X", "P4", "P3", "X", "P1"]])


@pytest.fixture(scope="module")
def world_db(tmp_path_factory):
    db = tmp_path_factory.mktemp("world") / "nav.db"
    counts = core_calc.import_navdata(str(WORLD), str(db))
    return db, counts


def test_world_counts(world_db):
    _, counts = world_db
    assert counts == {"airway_segments": 8, "tbl_enroute_airways": 8, "airports": 2,
                      "tbl_runways": 4, "tbl_sids": 8, "tbl_stars": 6, "tbl_iaps": 5,
                      "waypoints": 13, "navdata_metadata": 1}


def test_waypoint_types_and_data_cycle(world_db):
    db, _ = world_db
    # every fix and navaid with its type and region; localizers are runway courses
    assert set(query(db, "SELECT waypoint_identifier, waypoint_type, icao_region "
                         "FROM waypoints WHERE waypoint_identifier IN ('DPA', 'AB', 'ABBOT', "
                         "'IARB')")) == {("DPA", "VOR", "XA"), ("DPA", "DME", "XA"),
                                         ("AB", "NDB", "XA"), ("ABBOT", "FIX", "XA")}
    assert query(db, "SELECT key, value FROM navdata_metadata") == [("cycle", "2401")]


PROCEDURE_ROWS = {
    "tbl_sids": [  # every transition numbered from 10, as in the source
        ("ABBT1", "RW09", 10, "RW09"), ("ABBT1", "RW09", 20, "DA090"),
        ("ABBT1", "RW27", 20, "DA090"),  # the heading leg before it has no position
        ("ABBT1", "ALL", 10, "DA090"), ("ABBT1", "ALL", 20, "DPA"),
        ("ABBT1", "ALL", 30, "ABBOT"),
        ("ABBT1", "BAKER", 10, "ABBOT"), ("ABBT1", "BAKER", 20, "BAKER"),
    ],
    "tbl_stars": [
        ("DOVR1", "CHASE", 10, "CHASE"), ("DOVR1", "CHASE", 20, "DOVER"),
        ("DOVR1", "ALL", 10, "DOVER"), ("DOVR1", "ALL", 20, "AR300"),
        ("DOVR1", "RW27", 10, "AR300"), ("DOVR1", "RW27", 20, "AR280"),
    ],
    "tbl_iaps": [  # transition and final part; the missed approach is left out
        ("I27", "AR300", 10, "AR300"), ("I27", "AR300", 20, "AR280"),
        ("I27", None, 10, "AR280"), ("I27", None, 20, "AR281"), ("I27", None, 30, "RW27"),
    ],
}


@pytest.mark.parametrize("table", PROCEDURE_ROWS)
def test_procedure_rows(world_db, table):
    db, _ = world_db
    got = query(db, f"SELECT procedure_identifier, transition_identifier, seqno, "
                    f"waypoint_identifier FROM {table} ORDER BY rowid")
    assert sorted(got, key=str) == sorted(PROCEDURE_ROWS[table], key=str)
    if table == "tbl_sids":  # the engine-out departure (route type 0) is not written
        assert query(db, "SELECT COUNT(*) FROM tbl_sids WHERE route_type = '0'") == [(0,)]


def test_procedure_fixes_resolve_to_their_own_airport(world_db):
    db, _ = world_db
    # DA090 is a terminal fix of both airports; DEPA's SID uses DEPA's.
    assert set(query(db, "SELECT waypoint_latitude, waypoint_longitude FROM tbl_sids "
                         "WHERE waypoint_identifier = 'DA090'")) == {(10.5, 20.1)}
    # A runway fix takes the runway record's threshold, a navaid its own position.
    assert query(db, "SELECT DISTINCT waypoint_latitude, waypoint_longitude FROM tbl_iaps "
                     "WHERE waypoint_identifier = 'RW27'") == [(10.5, 22.02)]
    assert query(db, "SELECT DISTINCT waypoint_latitude, waypoint_longitude FROM tbl_sids "
                     "WHERE waypoint_identifier = 'DPA'") == [(10.55, 20.2)]


def test_readers_assemble_the_procedures_in_flying_order(world_db):
    db, _ = world_db
    core_calc.DB_PATH = str(db)
    names = lambda proc: [p[0] for p in proc.points]  # noqa: E731
    sids = core_calc.build_procedures_from_db("DEPA", "tbl_sids", "RW09")
    assert names(sids["ABBT1"]) == ["RW09", "DA090", "DA090", "DPA", "ABBOT"]
    stars = core_calc.build_procedures_from_db("ARRB", "tbl_stars", "RW27")
    assert names(stars["DOVR1"]) == ["DOVER", "AR300", "AR300", "AR280"]
    [approach] = core_calc.build_iaps_from_db("ARRB", "RW27")
    assert approach.name == "I27.AR300"
    assert names(approach) == ["AR300", "AR280", "AR281", "RW27"]


def test_runways_and_airports(world_db):
    db, _ = world_db
    runways = {(a, r): (round(lat, 6), round(lon, 6), round(b, 2)) for a, r, lat, lon, b in query(
        db, "SELECT airport_identifier, runway_identifier, runway_latitude, runway_longitude, "
            "runway_magnetic_bearing FROM tbl_runways")}
    assert runways[("DEPA", "RW09")] == (10.5, 19.98, 90.0)  # true course between the ends
    assert runways[("DEPA", "RW27")][2] == 270.0
    assert runways[("ARRB", "RW27")] == (10.5, 22.02, 272.0)  # the localizer's magnetic course
    # 150 m displaced threshold: moved east along the runway.
    east = 0.15 / (6371.0 * math.pi / 180 * math.cos(math.radians(10.5)))
    assert runways[("ARRB", "RW09")][:2] == (10.5, round(21.98 + east, 6))
    assert query(db, "SELECT airport_identifier, airport_ref_latitude, airport_ref_longitude "
                     "FROM airports") == [("DEPA", 10.5, 20.0), ("ARRB", 10.5, 22.0)]


def test_airport_identity_reference_and_duplicates(tmp_path):
    write(tmp_path / "a" / "apt.dat", dat(1100,
          "1 10 0 0 XX01 Has an ICAO code", "1302 icao_code EXIC",
          runway_row("18", (50.0, 7.0), "36", (49.98, 7.0)),
          "17 10 0 0 HELI Heliport", "102 H1 51.000000 8.000000 0 20 20 1 0 0 0.5",
          "16 0 0 0 SEAP Seaplane base", "101 50 1 07 52.0 9.0 25 52.0 9.2",
          "1 10 0 0 NONE Nowhere"))
    write(tmp_path / "b" / "apt.dat", dat(1200, "1 10 0 0 EXIC Second listing",
                                          "1302 datum_lat 1.0", "1302 datum_lon 1.0"))
    db = tmp_path / "nav.db"
    core_calc.import_navdata([tmp_path / "a" / "apt.dat", tmp_path / "b" / "apt.dat"], db)
    got = query(db, "SELECT airport_identifier, airport_name, airport_ref_latitude, "
                    "airport_ref_longitude FROM airports")
    assert [(i, n, lat and round(lat, 9), lon and round(lon, 9)) for i, n, lat, lon in got] == [
        ("EXIC", "Has an ICAO code", 49.99, 7.0), ("HELI", "Heliport", 51.0, 8.0),
        ("SEAP", "Seaplane base", 52.0, 9.1), ("NONE", "Nowhere", None, None)]


def test_parallel_runway_transitions_are_written_per_runway(tmp_path):
    write(tmp_path / "earth_fix.dat", dat(1200, "47.6 8.6 ALPHA ENRT LS 0 ALPHA"))
    write(tmp_path / "CIFP" / "LSZX.dat",
          "SID:010,1,ALP1,RW16B,ALPHA,LS,E,A,E   , ,   ,TF, ;\n"
          "STAR:010,6,ALP1A,ALL,ALPHA,LS,E,A,E   , ,   ,TF, ;\n"
          "RWY:RW16L,     ,      ,01416, ,    , ,   ;N47270000,E008330000,0000;\n"
          "RWY:RW16R,     ,      ,01416, ,    , ,   ;N47270000,E008340000,0000;\n"
          "RWY:RW34L,     ,      ,01416, ,    , ,   ;N47250000,E008340000,0000;\n"
          "FOO:unknown record\n")
    db = tmp_path / "nav.db"
    core_calc.import_navdata(tmp_path, db)
    assert query(db, "SELECT transition_identifier, seqno FROM tbl_sids") == [
        ("RW16L", 10), ("RW16R", 10)]
    assert query(db, "SELECT transition_identifier, seqno FROM tbl_stars") == [("ALL", 10)]


def test_end_to_end_flight_plan_between_fixture_airports(world_db, capsys):
    db, _ = world_db
    core_calc.GLOBAL_NETWORK = load_network(db, capsys)
    best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB")
    assert (best["sid"], best["star"], best["approach"]) == ("ABBT1", "DOVR1", "I27.AR300")
    assert [k[0] for k in best["enroute"]] == ["BAKER", "CHASE", "DOVER"]  # after ABBOT
    assert set(best["route_ids"]) == {"A1"}
    record = core_calc.format_for_api(best)
    assert "ABBT1" in record["route_string"] and "A1" in record["route_string"]


# Damaged files: each fails naming the file and the line, and leaves nothing behind.
GOOD_FIX = " 45.000000  007.000000 ALPHA ENRT LS 0"
DAMAGE = [
    ("earth_fix.dat", dat(1101, GOOD_FIX, " 45.0 east ALPHA ENRT LS 0"), 5, "longitude 'east'"),
    ("earth_fix.dat", dat(1101, GOOD_FIX, " 95.0 7.0 ALPHA ENRT LS 0"), 5, "out of range"),
    ("earth_fix.dat", dat(1101, GOOD_FIX, GOOD_FIX, closed=False), 5, "closing \"99\""),
    ("earth_fix.dat", dat(1300, GOOD_FIX), 2, "version 1300"),
    ("earth_nav.dat", dat(1150, "3 45.0 7.0 500 11310 130 2.0 BRV"), 4, "a navaid has 8 fields"),
    ("apt.dat", dat(1100, "1 0 0 0 LSZH Zurich", "100 45 1 0 0.25 1 3 0 14 47.4 8.5"), 5,
     "a land runway has 11 fields"),
    ("apt.dat", dat(1100, "100 45 1 0 0.25 1 3 0 " + " ".join(["0"] * 18)), 4,
     "before the first airport"),
    ("earth_awy.dat", dat(1100, "ALPHA LS 11 BRAVO LS 11 X 1 50 180 A1"), 4, "direction 'X'"),
    ("awy.dat", dat(640, "ALPHA 45.0 7.0 BRAVO 45.5 7.5 3 50 180 A1"), 4, "airway level 3"),
    ("CIFP/LSZH.dat", "SID:010,2,ALP1, ,ALPHA,LS,E,A,E   , ,   ,IF, ;\nSID:0x0,2,ALP1\n", 2,
     "has 3 fields"),
    ("CIFP/LSZH.dat", "RWY:RW16,     ,      ,01416, ,    , ,   ;N47XX0000,E008330000,0000;\n", 1,
     "not an ARINC 424 coordinate"),
    ("CIFP/LSZH.dat", "\n\njust text\n", 3, "TYPE:"),
]


@pytest.mark.parametrize("name,text,line,reason", DAMAGE, ids=[f"{d[0]}:{d[3]}" for d in DAMAGE])
def test_damaged_line_names_file_and_line_and_leaves_nothing(tmp_path, name, text, line, reason):
    data = tmp_path / "data"
    write(data / "earth_fix.dat", FIXES[1200]) if name != "earth_fix.dat" else None
    bad = write(data / name, text)
    db = tmp_path / "out" / "nav.db"
    db.parent.mkdir()
    db.write_bytes(b"the user's previous database")
    with pytest.raises(ValueError) as err:
        core_calc.import_navdata(data, db)
    assert str(err.value).startswith(f"{bad}:{line}: ")
    assert reason in str(err.value)
    assert (err.value.filename, err.value.lineno) == (str(bad), line)
    assert os.listdir(db.parent) == ["nav.db"]
    assert db.read_bytes() == b"the user's previous database"


def test_target_is_replaced_only_by_a_complete_import(tmp_path):
    source = write(tmp_path / "earth_fix.dat", FIXES[1200])
    (tmp_path / "nav.db").write_bytes(b"old")
    core_calc.import_navdata(source, tmp_path / "nav.db")
    assert query(tmp_path / "nav.db", "SELECT COUNT(*) FROM airports") == [(0,)]
    with pytest.raises(OSError, match="missing"):
        core_calc.import_navdata(source, tmp_path / "missing" / "nav.db")
    (tmp_path / "dir.db").mkdir()
    with pytest.raises(OSError, match="dir.db"):
        core_calc.import_navdata(source, tmp_path / "dir.db")
    assert sorted(os.listdir(tmp_path)) == ["dir.db", "earth_fix.dat", "nav.db"]


def test_cut_compressed_file_fails_without_a_line(tmp_path):
    whole = gzip.compress(FIXES[1200].encode() * 50)
    (tmp_path / "earth_fix.dat.gz").write_bytes(whole[: len(whole) // 2])
    with pytest.raises(ValueError) as err:
        core_calc.import_navdata(tmp_path / "earth_fix.dat.gz", tmp_path / "nav.db")
    assert err.value.lineno is None and "compressed data" in str(err.value)
    assert os.listdir(tmp_path) == ["earth_fix.dat.gz"]


@pytest.mark.parametrize("sources,error,text", [
    (["missing.dat"], FileNotFoundError, "missing.dat"),
    (["README.txt"], ValueError, "not a file this importer reads"),
    (["empty_dir"], ValueError, "no navigation data files found"),
    ([], ValueError, "no source"),
    (["earth_awy.dat"], ValueError, "give the fix and navaid files"),
])
def test_unusable_sources(tmp_path, monkeypatch, sources, error, text):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "README.txt").write_text("hello")
    (tmp_path / "empty_dir").mkdir()
    write(tmp_path / "earth_awy.dat", dat(1100, REFERENCES["fix"]))
    with pytest.raises(error, match=text):
        core_calc.import_navdata(sources, "nav.db")
    assert not (tmp_path / "nav.db").exists()


def test_sources_directories_and_progress(tmp_path):
    """Directories are searched recursively, unknown files ignored, each file read once."""
    write(tmp_path / "x" / "Navaids" / "fix.dat", FIXES[600], compressed=True)
    write(tmp_path / "x" / "Navaids" / "poi.dat", "14 6.3 -1.9 Somewhere\n")
    write(tmp_path / "x" / "awy.dat", dat(640, "ALPHA 45.0 7.0 BRAVO 45.5 7.5 1 50 180 A1"))
    reports = []
    counts = core_calc.import_navdata(
        [tmp_path / "x", tmp_path / "x" / "awy.dat"], os.fsencode(tmp_path / "nav.db"),
        progress=reports.append)
    assert [(pathlib.Path(r["path"]).name, r["kind"], r["version"]) for r in reports] == [
        ("fix.dat.gz", "fixes", 600), ("awy.dat", "airways", 640)]
    assert reports[0]["records"] == 2 and reports[1]["records"] == 1
    assert counts["airway_segments"] == 2


def test_progress_errors_stop_the_import(tmp_path):
    write(tmp_path / "earth_fix.dat", FIXES[1200])

    def stop(report):
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        core_calc.import_navdata(tmp_path, tmp_path / "nav.db", progress=stop)
    assert os.listdir(tmp_path) == ["earth_fix.dat"]


@pytest.fixture
def command():
    """The console script core-calc-import, a function of the module."""
    return core_calc._import_command


def test_command_prints_a_line_per_file_and_a_summary(command, tmp_path, capsys):
    db = tmp_path / "nav.db"
    assert command([str(WORLD), "-o", str(db)]) == 0
    out = capsys.readouterr().out.splitlines()
    assert len([line for line in out if "earth_" in line or "apt.dat" in line or "CIFP" in line]) == 6
    assert out[6] == f"wrote {db} in " + out[6].split(" in ")[1]
    assert out[7:] == [f"  {t:<20} {n:>10,} rows" for t, n in [
        ("airway_segments", 8), ("tbl_enroute_airways", 8), ("airports", 2), ("tbl_runways", 4),
        ("tbl_sids", 8), ("tbl_stars", 6), ("tbl_iaps", 5), ("waypoints", 13),
        ("navdata_metadata", 1)]]


def test_command_reports_damage_and_writes_nothing(command, tmp_path, capsys):
    bad = write(tmp_path / "earth_fix.dat", dat(1200, "95 7 ALPHA ENRT LS 0 ALPHA"))
    assert command([str(bad), "-o", str(tmp_path / "nav.db"), "-q"]) == 1
    err = capsys.readouterr().err
    assert f"{bad}:4: latitude '95' is out of range" in err
    assert not (tmp_path / "nav.db").exists()


@pytest.mark.parametrize("argv, message", [
    ([], "the following arguments are required: -o/--output"),
    (["data"], "the following arguments are required: -o/--output"),
    (["-o", "nav.db"], "the following arguments are required: SOURCE"),
    (["data", "-o"], "argument -o/--output: expected one argument"),
    (["data", "-o", "nav.db", "--fast"], "unrecognized arguments: --fast"),
])
def test_command_line_out_of_form(command, capsys, argv, message):
    assert command(argv) == 2
    err = capsys.readouterr().err.splitlines()
    assert err[0].startswith("usage: core-calc-import")
    assert err[1] == f"core-calc-import: error: {message}"
