#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into a directory.

wind/: reply bodies of the weather service. navdb/: small navigation databases
(512-byte pages, every table the readers use) with ordinary and odd stored values,
shared by the procedure, approach, runway and route facts targets. Same output on
every run.

    python3 fuzz/make_seeds.py OUT_DIR
"""
import json
import os
import sqlite3
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from navdb import SCHEMA  # noqa: E402  the column lists of the test databases

APT = "ZSSS"

WIND_BODIES = [
    {"KJFK": {"parsed": {"wind": {"direction": "270"}}}},
    {"KJFK": {"parsed": {"wind": {"direction": 93}}}},
    {"KJFK": {"parsed": {"wind": {"direction": 359.5}}}},
    {"KJFK": {"parsed": {"wind": {"direction": "VRB"}}}},
    {"KJFK": {"parsed": {"wind": {}}}},
    {"KJFK": {"parsed": {}}},
    {"KJFK": {"parsed": {"wind": {"direction": [1, {"a": None}]}}}, "EGLL": {}},
]


def leg(proc, trans, seq, wp, lat=31.0, lon=121.0):
    return (APT, proc, trans, seq, wp, lat, lon)


ORDINARY = {
    # A SID and a STAR numbered from 10 in every transition, one numbered across.
    "tbl_sids": [leg("S1A", "RW09L", 10, "R1"), leg("S1A", "RW09L", 20, "R2", 31.1),
                 leg("S1A", "ALL", 10, "C1", 31.2), leg("S1A", "BULGE", 10, "E1", 31.3),
                 leg("S2B", "09L", 10, "R1"), leg("S2B", "ALL", 20, "C1", 31.2)],
    "tbl_stars": [leg("T1A", "BULGE", 10, "E1"), leg("T1A", "ALL", 10, "C1", 31.1),
                  leg("T1A", "RW09L", 10, "R1", 31.2), leg("T1A", "RW27", 20, "R2", 31.3)],
    "tbl_iaps": [leg("I09L", "TR1", 10, "IAF"), leg("I09L", "TR1", 20, "IF", 31.1),
                 leg("I09L", None, 10, "IF", 31.1), leg("I09L", None, 20, "FAF", 31.2),
                 leg("R09LZ", "", 10, "A"), leg("R09LZ", "", 20, "B", 31.1),
                 leg("R09LZ", "", 10, "C", 31.2), leg("R09LZ", "", 20, "RW09L", 31.3)],
    "tbl_runways": [(APT, "RW09L", 31.0, 121.0, 93.0), (APT, "RW27R", 31.0, 121.1, 273.0),
                    (APT, "RW18", 31.1, 121.0, 183.5)],
    "airports": [(APT, 31.05, 121.05)],
    "airway_segments": [("A1", "P1", 31.0, 121.0, 10, None, 1),
                        ("A1", "P2", 31.5, 121.5, 20, "F", 1)],
    "waypoints": [("P1", 31.0, 121.0, "VOR", "ZS"), ("P1", 31.0, 121.0, "DME", "ZS"),
                  ("P2", 31.5, 121.5, "NDB", None), ("R1", 31.0, 121.0, "FIX", "ZS")],
    "navdata_metadata": [("cycle", "2401")],
}

ODD = {
    # Stored values of every kind where the readers expect numbers or texts.
    "tbl_sids": [leg("S1A", "RW09L", None, " R1 ", "31.5", 121),
                 leg("S1A", " ", 7.5, b"BLOB", 31.1, b"121.2"),
                 leg("S1A", 27, "20", 12345, "N/A", 121.0),
                 leg(None, "ALL", 10, "X"), leg("S1A", "ALL", 10, None)],
    "tbl_stars": [leg("T1A", "RW", -10, "Ä✈", 1e308, -1e308), leg("T1A", "22T", 0, "B", 0, 0)],
    "tbl_iaps": [leg("I09L", "TR1", "x", "IAF", "1_0.5", "2e1"),
                 leg("I09L", None, None, "IF", None, 121.0),
                 leg("09L", "TR2", 10, "Q", "nan", "inf")],
    "tbl_runways": [(APT, 9, 31.0, 121.0, "93"), (APT, None, None, None, None),
                    (APT, "RW27", "x", 121.0, float("inf")), (APT, b"RW01", 1.0, 2.0, b"10")],
    "airports": [(APT, None, None)],
    "airway_segments": [],
    "waypoints": [("P1", "31.0", b"121", "VOR", 7), ("P1", None, 121.0, "fix", ""),
                  (None, 31.0, 121.0, "NDB", "ZS"), ("P2", "nan", "inf", b"NDB", None)],
    "navdata_metadata": [("cycle", "24O1"), ("cycle", 2401), (None, None)],
}


def write_db(path, tables, page_size=512):
    if os.path.exists(path):
        os.remove(path)
    conn = sqlite3.connect(path)
    conn.execute(f"PRAGMA page_size={page_size}")
    for name, columns in SCHEMA.items():
        if name not in tables:
            continue
        conn.execute(f"CREATE TABLE {name} ({columns})")
        rows = tables[name]
        if rows:
            marks = ",".join("?" * len(rows[0]))
            conn.executemany(f"INSERT INTO {name} VALUES ({marks})", rows)
    conn.commit()
    conn.execute("VACUUM")
    conn.close()


def main(out):
    wind = os.path.join(out, "wind")
    navdb = os.path.join(out, "navdb")
    os.makedirs(wind, exist_ok=True)
    os.makedirs(navdb, exist_ok=True)
    for i, body in enumerate(WIND_BODIES):
        with open(os.path.join(wind, f"body{i}.json"), "w", encoding="utf-8") as f:
            json.dump(body, f)
    write_db(os.path.join(navdb, "ordinary.db"), ORDINARY)
    write_db(os.path.join(navdb, "odd.db"), ODD)
    # Tables lacking the columns the readers need.
    write_db(os.path.join(navdb, "partial.db"),
             {"tbl_sids": ORDINARY["tbl_sids"], "tbl_runways": ORDINARY["tbl_runways"]})
    conn = sqlite3.connect(os.path.join(navdb, "partial.db"))
    conn.execute("ALTER TABLE tbl_sids DROP COLUMN seqno")
    conn.execute("CREATE TABLE tbl_iaps (airport_identifier, procedure_identifier)")
    conn.execute("INSERT INTO tbl_iaps VALUES (?, ?)", (APT, "I09L"))
    conn.commit()
    conn.close()


if __name__ == "__main__":
    main(sys.argv[1])
