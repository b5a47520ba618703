"""Procedure, approach and airport-position readers, and direct candidates."""
import sqlite3

import pytest

import core_calc
from navdb import NavDb

APT = "ZSSS"


def leg(proc, trans, seq, wp, lat=31.0, lon=121.0, apt=APT):
    """One row of tbl_sids / tbl_stars / tbl_iaps."""
    return (apt, proc, trans, seq, wp, lat, lon)


@pytest.fixture
def navdb(db_path):
    db = NavDb(db_path)
    yield db
    db.close()


def point_names(record):
    return [p[0] for p in record.points]


COLUMNS = ["airport_identifier", "procedure_identifier", "transition_identifier", "seqno",
           "waypoint_identifier", "waypoint_latitude", "waypoint_longitude"]


def table_without(db_path, table, missing, *rows):
    """Creates `table` without the column `missing`; rows are given as by leg()."""
    kept = [c for c in COLUMNS if c != missing]
    with sqlite3.connect(db_path) as conn:
        conn.execute(f"CREATE TABLE {table} ({', '.join(kept)})")
        conn.executemany(f"INSERT INTO {table} VALUES ({','.join('?' * len(kept))})",
                         [[v for c, v in zip(COLUMNS, row) if c != missing] for row in rows])


# --------------------------------------------------------------------------
# SIDs and STARs
# --------------------------------------------------------------------------


class TestProcedures:
    @pytest.mark.parametrize("runway", [None, ""])
    @pytest.mark.parametrize(
        "table, expected",
        [
            ("tbl_sids", ["R09A", "R27A", "R09B", "COM1", "ENR"]),
            ("tbl_stars", ["ENR", "COM1", "R09A", "R27A", "R09B"]),
        ],
    )
    def test_all_transitions_merge_in_flying_order(self, navdb, table, expected, runway):
        navdb.insert(
            table,
            leg("ABC1A", "RW09", 10, "R09A"),
            leg("ABC1A", "ALL", 40, "COM1"),
            leg("ABC1A", "RW27", 20, "R27A"),
            leg("ABC1A", "ENR1", 50, "ENR"),
            leg("ABC1A", "RW09", 30, "R09B"),
        )
        procs = core_calc.build_procedures_from_db(APT, table, runway)
        assert list(procs) == ["ABC1A"]
        proc = procs["ABC1A"]
        assert proc == core_calc.Procedure(APT, "ABC1A", proc.points)
        assert point_names(proc) == expected
        assert ("R09A", 31.0, 121.0, 10) in proc.points

    def test_transitions_numbered_from_ten_are_flown_one_after_the_other(self, navdb):
        # Every transition numbers its legs from 10: by seqno alone this SID would read
        # SAVOS BULGE DEGRO ATLAZ RIKEM EDUSE BULGE EHMAN and end inside the runway
        # transition. BULGE ends the runway transition and starts the common part.
        navdb.insert(
            "tbl_sids",
            leg("EHMA1A", "RW18", 10, "SAVOS"),
            leg("EHMA1A", "RW18", 20, "DEGRO"),
            leg("EHMA1A", "RW18", 30, "RIKEM"),
            leg("EHMA1A", "RW18", 40, "BULGE"),
            leg("EHMA1A", "ALL", 10, "BULGE"),
            leg("EHMA1A", "ALL", 20, "ATLAZ"),
            leg("EHMA1A", "ALL", 30, "EDUSE"),
            leg("EHMA1A", "ALL", 40, "EHMAN"),
        )
        for runway in (None, "RW18", "18"):
            points = core_calc.build_procedures_from_db(APT, "tbl_sids", runway)["EHMA1A"].points
            assert [(p[0], p[3]) for p in points] == [
                ("SAVOS", 10), ("DEGRO", 20), ("RIKEM", 30), ("BULGE", 40),
                ("BULGE", 10), ("ATLAZ", 20), ("EDUSE", 30), ("EHMAN", 40),
            ]

    # A departure flies runway transition, common part, en-route transition; an
    # arrival the reverse. Within a kind: seqno, nulls last.
    @pytest.mark.parametrize(
        "table, expected",
        [
            ("tbl_sids", ["RWA", "RWB", "RWN", "C1", "C2", "C3", "EA", "EB"]),
            ("tbl_stars", ["EA", "EB", "C1", "C2", "C3", "RWA", "RWB", "RWN"]),
            ("TBL_STARS", ["EA", "EB", "C1", "C2", "C3", "RWA", "RWB", "RWN"]),
        ],
    )
    def test_departure_and_arrival_tables_order_transition_kinds(self, navdb, table, expected):
        rows = [
            leg("P", "ALL", 20, "C2"),
            leg("P", "SOPAN", 20, "EB"),
            leg("P", "RW09L", None, "RWN"),
            leg("P", "RW09L", 20, "RWB"),
            leg("P", "", 30, "C3"),
            leg("P", None, 10, "C1"),
            leg("P", "SOPAN", 10, "EA"),
            leg("P", "RW09L", 10, "RWA"),
        ]
        navdb.insert("tbl_sids", *rows).insert("tbl_stars", *rows)
        assert point_names(core_calc.build_procedures_from_db(APT, table)["P"]) == expected

    @pytest.mark.parametrize(
        "transition, kind",
        [("RW27", "runway"), ("RW", "runway"), ("09", "runway"), ("27L", "runway"),
         ("36R", "runway"), ("18C", "runway"), ("04B", "runway"), ("22T", "runway"),
         (" 09 ", "runway"), ("ALL", "common"), ("", "common"), ("  ", "common"),
         (None, "common"), ("9", "en-route"), ("270", "en-route"), ("27X", "en-route"),
         ("27LR", "en-route"), ("ALLRO", "en-route"), ("BULGE", "en-route")],
    )
    def test_kind_of_a_transition(self, navdb, transition, kind):
        navdb.insert(
            "tbl_sids",
            leg("P", "ENRTE", 10, "E"),
            leg("P", "ALL", 10, "C"),
            leg("P", transition, 20, "T"),
        )
        order = {"runway": ["T", "C", "E"], "common": ["C", "T", "E"], "en-route": ["C", "E", "T"]}
        assert point_names(core_calc.build_procedures_from_db(APT, "tbl_sids")["P"]) == order[kind]

    @pytest.mark.parametrize(
        "table, rows",
        [
            ("tbl_sids", [("RW27", 10), ("RW27", 20), ("ALL", 30), ("ALL", 40), ("ENR", 50)]),
            ("tbl_stars", [("ENR", 10), ("ENR", 20), ("ALL", 30), ("ALL", 40), ("RW27", 50)]),
        ],
    )
    def test_data_numbered_across_transitions_keeps_its_order(self, navdb, table, rows):
        navdb.insert(table, *[leg("P", t, seq, f"F{seq}") for t, seq in reversed(rows)])
        points = core_calc.build_procedures_from_db(APT, table)["P"].points
        assert [p[3] for p in points] == [seq for _, seq in rows]

    @pytest.mark.parametrize(
        "runway, selected",
        [
            ("RW27", ["T27", "RW27", "COM"]),
            ("27", ["T27", "RW27", "COM"]),
            ("RW09", ["T09", "RW09", "COM"]),
            ("RW0RW9", ["T09", "RW09", "COM"]),  # every "RW" is removed
        ],
    )
    def test_runway_selects_its_transitions_and_the_common_part(self, navdb, runway, selected):
        navdb.insert(
            "tbl_sids",
            leg("S1", "RW27", 10, "RW27"),
            leg("S1", "27", 5, "T27"),
            leg("S1", "09", 6, "T09"),
            leg("S1", "RW27L", 11, "RW27L"),
            leg("S1", "RW27R", 12, "RW27R"),
            leg("S1", "RW09", 13, "RW09"),
            leg("S1", None, 14, "NULL"),
            leg("S1", " ", 15, "BLANK"),
            leg("S1", "ALL", 20, "COM"),
        )
        procs = core_calc.build_procedures_from_db(APT, "tbl_sids", runway)
        assert point_names(procs["S1"]) == selected

    @pytest.mark.parametrize("usable, present", [(1, False), (2, True)])
    def test_procedure_needs_two_usable_points(self, navdb, usable, present):
        rows = [leg("P", "ALL", 10 * i, f"F{i}") for i in range(usable)]
        rows += [
            leg("P", "ALL", 90, "TEXT", lat="N/A"),
            leg("P", "ALL", 91, "NULLLAT", lat=None),
            leg("P", "ALL", 92, None),
        ]
        navdb.insert("tbl_sids", *rows)
        assert ("P" in core_calc.build_procedures_from_db(APT, "tbl_sids")) is present

    def test_point_names_are_stripped_and_coordinates_converted(self, navdb):
        navdb.insert(
            "tbl_sids",
            leg("P", "ALL", 10, " ABCDE ", lat="31.5", lon=121),
            leg("P", "ALL", 20, "\u3000\tXYZ\u00a0\n"),
            leg("P", "ALL", 30, 12345),
            leg("P", "ALL", 25, "SKIP", lat="N/A"),
        )
        points = core_calc.build_procedures_from_db(APT, "tbl_sids")["P"].points
        assert points == [
            ("ABCDE", 31.5, 121.0, 10),
            ("XYZ", 31.0, 121.0, 20),
            ("12345", 31.0, 121.0, 30),
        ]
        assert all(type(p[1]) is float and type(p[2]) is float for p in points)

    def test_sequence_numbers_keep_their_stored_kinds(self, navdb):
        navdb.insert(
            "tbl_sids",
            leg("P", "ALL", "7", "TXT"),
            leg("P", "ALL", None, "NUL"),
            leg("P", "ALL", 15.5, "REAL"),
            leg("P", "ALL", 10, "INT"),
            leg("P", "ALL", 20, "INT2"),
        )
        points = core_calc.build_procedures_from_db(APT, "tbl_sids")["P"].points
        # Numbers by value, then texts, then nulls.
        assert [(p[0], p[3]) for p in points] == [
            ("INT", 10),
            ("REAL", 15.5),
            ("INT2", 20),
            ("TXT", "7"),
            ("NUL", None),
        ]
        assert [type(p[3]) for p in points] == [int, float, int, str, type(None)]

    def test_procedures_come_in_identifier_order(self, navdb):
        for name in ["ABC1A", "XYZ2B", "ABC1B", None]:
            navdb.insert("tbl_sids", leg(name, "ALL", 10, "A"), leg(name, "ALL", 20, "B"))
        procs = core_calc.build_procedures_from_db(APT, "tbl_sids")
        assert list(procs) == ["ABC1A", "ABC1B", "XYZ2B"]

    @pytest.mark.parametrize(
        "icao", ["zsss", "ZSSS ", "x" * 10_000, "ZSSS' OR '1'='1", "'; DROP TABLE tbl_sids; --"]
    )
    def test_codes_are_bound_and_compared_exactly(self, navdb, icao, capsys):
        navdb.insert("tbl_sids", leg("P", "ALL", 10, "A"), leg("P", "ALL", 20, "B"))
        assert core_calc.build_procedures_from_db(icao, "tbl_sids", "RW09' OR 1=1 --") == {}
        assert core_calc.build_procedures_from_db(icao, "tbl_sids") == {}
        assert capsys.readouterr().out == ""
        assert "P" in core_calc.build_procedures_from_db(APT, "tbl_sids")

    def test_rows_of_nulls_are_left_out(self, navdb):
        navdb.insert("tbl_sids", (APT, None, None, None, None, None, None))
        assert core_calc.build_procedures_from_db(APT, "tbl_sids", "RW09") == {}


class TestProcedureFailures:
    def test_missing_table_prints_one_line(self, db_path, capsys):
        assert core_calc.build_procedures_from_db(APT, "tbl_sids") == {}
        assert capsys.readouterr().out == "Error loading tbl_sids for ZSSS: no such table: tbl_sids\n"

    @pytest.mark.parametrize(
        "missing",
        ["procedure_identifier", "seqno", "waypoint_identifier", "waypoint_latitude",
         "waypoint_longitude"],
    )
    def test_missing_column(self, db_path, capsys, missing):
        table_without(db_path, "tbl_sids", missing, leg("P", "ALL", 10, "A"),
                      leg("P", "ALL", 20, "B"))
        assert core_calc.build_procedures_from_db(APT, "tbl_sids") == {}
        out = capsys.readouterr().out
        assert out.startswith("Error loading tbl_sids for ZSSS: ") and missing in out
        assert out.count("\n") == 1

    def test_transition_column_is_needed_only_for_a_runway(self, db_path, capsys):
        table_without(db_path, "tbl_sids", "transition_identifier", leg("P", "ALL", 10, "A"),
                      leg("P", "ALL", 20, "B"))
        assert list(core_calc.build_procedures_from_db(APT, "tbl_sids")) == ["P"]
        assert capsys.readouterr().out == ""
        assert core_calc.build_procedures_from_db(APT, "tbl_sids", "RW09") == {}
        assert capsys.readouterr().out == (
            "Error loading tbl_sids for ZSSS: no such column: transition_identifier\n")

    def test_missing_column_without_rows_is_no_error(self, db_path, capsys):
        table_without(db_path, "tbl_sids", "seqno")
        assert core_calc.build_procedures_from_db(APT, "tbl_sids") == {}
        assert capsys.readouterr().out == ""

    def test_repeated_column_names_use_the_first(self, db_path):
        with sqlite3.connect(db_path) as conn:
            conn.execute("CREATE TABLE a (airport_identifier, procedure_identifier, seqno, "
                         "waypoint_identifier, waypoint_latitude, waypoint_longitude)")
            conn.execute("CREATE TABLE b (waypoint_identifier)")
            conn.executemany("INSERT INTO a VALUES (?,?,?,?,?,?)",
                             [(APT, "P", 10, "A", 1, 2), (APT, "P", 20, "B", 3, 4)])
            conn.execute("INSERT INTO b VALUES ('OTHER')")
        procs = core_calc.build_procedures_from_db(APT, "a JOIN b")
        assert point_names(procs["P"]) == ["A", "B"]

    @pytest.mark.parametrize(
        "args, expected",
        [
            ((5, "tbl_sids"), "Error loading tbl_sids for 5: "),
            ((APT, None), "Error loading None for ZSSS: "),
            ((APT, "tbl_sids", 27), "Error loading tbl_sids for ZSSS: "),
        ],
    )
    def test_arguments_that_are_not_text(self, navdb, capsys, args, expected):
        assert core_calc.build_procedures_from_db(*args) == {}
        assert capsys.readouterr().out.startswith(expected)


# --------------------------------------------------------------------------
# Approaches
# --------------------------------------------------------------------------


def approach_names(icao, runway):
    return [a.name for a in core_calc.build_iaps_from_db(icao, runway)]


class TestApproachSelection:
    PRIMARY = ["I09L", "R09L", "ILS09L", "R09LZ"]

    @pytest.mark.parametrize("runway", ["RW09L", "09L"])
    def test_capitals_or_digits_then_the_runway(self, navdb, runway):
        for proc in self.PRIMARY + ["09L", "I-09L", "i09L", "I09R"]:
            navdb.insert("tbl_iaps", leg(proc, "", 10, "FAF"))
        assert approach_names(APT, runway) == sorted(p + ".MAIN" for p in self.PRIMARY)

    def test_fallback_takes_every_identifier_containing_the_runway(self, navdb):
        for proc in ["09L", "I-09L", "X09R"]:
            navdb.insert("tbl_iaps", leg(proc, "", 10, "FAF"))
        assert approach_names(APT, "RW09L") == ["09L.MAIN", "I-09L.MAIN"]

    def test_shorter_runway_also_selects_its_sides(self, navdb):
        for proc in ["I09L", "I09R", "I27"]:
            navdb.insert("tbl_iaps", leg(proc, "", 10, "FAF"))
        assert approach_names(APT, "RW09") == ["I09L.MAIN", "I09R.MAIN"]

    @pytest.mark.parametrize(
        "runway, expected",
        [
            ("0(", ["X0(.MAIN"]),
            ("(a+)+$", ["A(a+)+$.MAIN"]),
            (".", []),
            ("[", []),
            ("\\", []),
            ("*" * 10_000, []),
            ("RW", ["A(a+)+$.MAIN", "A" + "a" * 40 + "!.MAIN", "I09L.MAIN", "X0(.MAIN"]),
            ("", ["A(a+)+$.MAIN", "A" + "a" * 40 + "!.MAIN", "I09L.MAIN", "X0(.MAIN"]),
        ],
    )
    def test_runway_text_is_matched_literally(self, navdb, runway, expected):
        # The long identifier would make a backtracking pattern like "(a+)+$" run for ages.
        for proc in ["X0(", "A(a+)+$", "I09L", "-ABC", "A" + "a" * 40 + "!"]:
            navdb.insert("tbl_iaps", leg(proc, "", 10, "FAF"))
        assert approach_names(APT, runway) == expected

    def test_empty_runway_falls_back_to_every_identifier(self, navdb):
        for proc in ["-ABC", "xyz"]:
            navdb.insert("tbl_iaps", leg(proc, "", 10, "FAF"))
        assert approach_names(APT, "") == ["-ABC.MAIN", "xyz.MAIN"]

    @pytest.mark.parametrize("runway", ["RW09L", "09L"])
    def test_record_keeps_the_runway_as_passed(self, navdb, runway):
        navdb.insert("tbl_iaps", leg("I09L", "", 10, "FAF"))
        assert [a.runway for a in core_calc.build_iaps_from_db(APT, runway)] == [runway]

    @pytest.mark.parametrize("icao", ["zsss", "x" * 10_000, "Z' OR 1=1 --"])
    def test_codes_are_bound_and_compared_exactly(self, navdb, icao, capsys):
        navdb.insert("tbl_iaps", leg("I09L", "", 10, "FAF"))
        assert core_calc.build_iaps_from_db(icao, "09L") == []
        assert capsys.readouterr().out == ""


class TestApproachBuilding:
    def test_transitions_join_their_main_segment_once(self, navdb):
        navdb.insert(
            "tbl_iaps",
            leg("I09L", "", 10, "IF", 31.0, 121.0),
            leg("I09L", "ABCDE", 10, "ABCDE", 32.0, 122.0),
            leg("I09L", "", 20, "FAF", 31.1, 121.1),
            leg("I09L", "ABCDE", 20, "MID", 31.5, 121.5),
            leg("I09L", "ABCDE", 30, "IF", 31.0, 121.0),
            leg("I09L", None, 30, "MAP", 31.2, 121.2),
            leg("I09L", "OTHER", 10, "OTH1", 33.0, 123.0),
            leg("I09L", "OTHER", 20, "OTH2", 33.1, 123.1),
        )
        first, second = core_calc.build_iaps_from_db(APT, "RW09L")
        assert first == core_calc.Approach(
            "I09L.ABCDE", "RW09L", "ABCDE",
            [("ABCDE", 32.0, 122.0, 10.0), ("MID", 31.5, 121.5, 20.0),
             ("IF", 31.0, 121.0, 30.0), ("FAF", 31.1, 121.1, 20.0),
             ("MAP", 31.2, 121.2, 30.0)],
        )
        # Ending at a fix that starts no segment: the whole first segment follows.
        assert second.name == "I09L.OTHER" and second.initial_fix == "OTH1"
        assert point_names(second) == ["OTH1", "OTH2", "IF", "FAF", "MAP"]

    def test_transition_matches_a_later_segment_by_its_first_fix(self, navdb):
        navdb.insert(
            "tbl_iaps",
            leg("I09L", "", 10, "A1"), leg("I09L", "", 20, "A2"),
            leg("I09L", "", 20, "B1"), leg("I09L", "", 30, "B2"),
            leg("I09L", "T", 5, "T1"), leg("I09L", "T", 6, "B1"),
        )
        [approach] = core_calc.build_iaps_from_db(APT, "09L")
        assert point_names(approach) == ["T1", "B1", "B2"]

    def test_repeated_sequence_values_split_the_main_route(self, navdb):
        navdb.insert("tbl_iaps", *[leg("I09L", "", s, n) for s, n in
                                   [(10, "A"), (20, "B"), (30, "C"), (10, "D"), (20, "E")]])
        navdb.insert("tbl_iaps", *[leg("R09L", None, s, n) for s, n in
                                   [(10, "X"), (20, "Y"), (30, "Z")]])
        approaches = core_calc.build_iaps_from_db(APT, "09L")
        assert [(a.name, a.initial_fix, point_names(a)) for a in approaches] == [
            ("I09L.MAIN1", "A", ["A"]),
            ("I09L.MAIN2", "D", ["D", "B"]),
            ("I09L.MAIN3", "E", ["E", "C"]),
            ("R09L.MAIN", "X", ["X", "Y", "Z"]),
        ]
        assert all(type(p[3]) is float for a in approaches for p in a.points)

    def test_transitions_in_order_of_first_appearance(self, navdb):
        navdb.insert(
            "tbl_iaps",
            leg("I09L", "ZULU", 20, "Z2"), leg("I09L", "ALFA", 10, "A1"),
            leg("I09L", "ZULU", 10, "Z1"), leg("I09L", "  ", 10, "S1"),
        )
        approaches = core_calc.build_iaps_from_db(APT, "09L")
        assert [(a.name, point_names(a)) for a in approaches] == [
            ("I09L.ZULU", ["Z1", "Z2"]), ("I09L.ALFA", ["A1"]), ("I09L.  ", ["S1"])]

    def test_transitions_without_coordinates_give_no_record(self, navdb):
        navdb.insert(
            "tbl_iaps",
            leg("I09L", "", 10, "IF"),
            leg("I09L", "T", 10, "T1", lat=None),
            leg("I09L", "T", 20, "T2", lon=None),
        )
        assert core_calc.build_iaps_from_db(APT, "09L") == []

    def test_odd_stored_values(self, navdb):
        navdb.insert(
            "tbl_iaps",
            leg("I09L", "", "abc", None),
            leg("I09L", "", None, " B "),
            leg("I09L", "", "15", "C", lat="31.5"),
            leg("I09L", "", 20, "D", lat=None),
        )
        # Sequence values that are no numbers count as 0.0, so the second 0.0 starts a
        # segment; a null fix name reads "None"; a row without coordinates has no point.
        first, second = core_calc.build_iaps_from_db(APT, "09L")
        assert first == ("I09L.MAIN1", "09L", "None", [("None", 31.0, 121.0, 0.0)])
        assert second == ("I09L.MAIN2", "09L", "B",
                          [("B", 31.0, 121.0, 0.0), ("C", 31.5, 121.0, 15.0)])

    def test_text_coordinate_ends_the_load(self, navdb, capsys):
        navdb.insert(
            "tbl_iaps",
            leg("A09L", "", 10, "A"),
            leg("B09L", "GOOD", 10, "G"),
            leg("B09L", "BAD", 10, "X", lat="N/A"),
            leg("C09L", "", 10, "C"),
        )
        assert approach_names(APT, "09L") == ["A09L.MAIN", "B09L.GOOD"]
        out = capsys.readouterr().out
        assert out.startswith("Error loading IAPs for ZSSS: ") and "N/A" in out
        assert out.count("\n") == 1


class TestApproachFailures:
    def test_missing_table(self, db_path, capsys):
        assert core_calc.build_iaps_from_db(APT, "09L") == []
        assert capsys.readouterr().out == "Error loading IAPs for ZSSS: no such table: tbl_iaps\n"

    def test_table_suffix_is_applied(self, navdb, capsys):
        navdb.insert("tbl_iaps", leg("I09L", "", 10, "FAF"))
        core_calc.TABLE_SUFFIX = "_ALT"
        assert core_calc.build_iaps_from_db(APT, "09L") == []
        assert capsys.readouterr().out == (
            "Error loading IAPs for ZSSS: no such table: tbl_iaps_ALT\n")

    @pytest.mark.parametrize(
        "missing",
        ["procedure_identifier", "transition_identifier", "seqno", "waypoint_identifier",
         "waypoint_latitude", "waypoint_longitude"],
    )
    def test_missing_column(self, db_path, capsys, missing):
        table_without(db_path, "tbl_iaps", missing, leg("I09L", "", 10, "FAF"))
        assert core_calc.build_iaps_from_db(APT, "09L") == []
        out = capsys.readouterr().out
        assert out.startswith("Error loading IAPs for ZSSS: ") and missing in out

    def test_rows_of_nulls(self, navdb, capsys):
        navdb.insert("tbl_iaps", (APT, None, None, None, None, None, None))
        assert core_calc.build_iaps_from_db(APT, "") == []
        assert capsys.readouterr().out == ""

    @pytest.mark.parametrize(
        "setup, args",
        [
            (lambda: setattr(core_calc, "TABLE_SUFFIX", 5), (APT, "09L")),
            (lambda: delattr(core_calc, "TABLE_SUFFIX"), (APT, "09L")),
            (lambda: None, (APT, None)),
            (lambda: None, (9, "09L")),
        ],
    )
    def test_unusable_arguments_and_settings_are_reported(self, navdb, capsys, setup, args):
        navdb.insert("tbl_iaps", leg("I09L", "", 10, "FAF"))
        setup()
        assert core_calc.build_iaps_from_db(*args) == []
        assert capsys.readouterr().out.startswith(f"Error loading IAPs for {args[0]}: ")


# --------------------------------------------------------------------------
# Airport reference coordinates
# --------------------------------------------------------------------------


class TestAirportPosition:
    def runways(self, navdb, *positions, apt=APT):
        navdb.insert("tbl_runways", *[(apt, f"RW{i}", lat, lon, 90.0)
                                      for i, (lat, lon) in enumerate(positions)])

    @pytest.mark.parametrize("code", [APT, "zsss", "ZsSs"])
    def test_reference_point_wins(self, navdb, code):
        navdb.insert("airports", (APT, 31, "121.5"), (APT, 1.0, 2.0))
        self.runways(navdb, (10.0, 20.0))
        coord = core_calc.get_airport_ref_coord(code)
        assert coord == (31.0, 121.5) and [type(v) for v in coord] == [float, float]

    @pytest.mark.parametrize("airport_row", [None, (APT, None, 121.0), (APT, 31.0, None)])
    def test_runway_mean_when_no_reference_point(self, navdb, airport_row):
        if airport_row:
            navdb.insert("airports", airport_row)
        self.runways(navdb, (30.0, 120.0), (31.0, None), (None, 1.0), (32.0, 121.0))
        self.runways(navdb, (0.0, 0.0), apt="OTHR")
        assert core_calc.get_airport_ref_coord(APT) == (31.0, 120.5)

    def test_unknown_airport_or_null_runways(self, navdb, capsys):
        self.runways(navdb, (None, None), (1.0, None))
        assert core_calc.get_airport_ref_coord(APT) is None
        assert core_calc.get_airport_ref_coord("NONE") is None
        assert capsys.readouterr().out == ""

    @pytest.mark.parametrize(
        "setup, code, text",
        [
            (lambda db: db.insert("airports", (APT, "N/A", 121.0)), "zsss", "N/A"),
            (lambda db: db.insert("tbl_runways", (APT, "RW09", 31.0, "x", 9.0)), APT, "x"),
            (lambda db: None, 42, "upper"),
        ],
    )
    def test_unreadable_values_print_one_line(self, navdb, capsys, setup, code, text):
        setup(navdb)
        self.runways(navdb, (1.0, 2.0))
        assert core_calc.get_airport_ref_coord(code) is None
        out = capsys.readouterr().out
        assert out.startswith(f"Error reading airport coord for {code}: ") and text in out

    @pytest.mark.parametrize("tables", [["tbl_runways"], ["airports"]])
    def test_missing_tables(self, db_path, capsys, tables):
        NavDb(db_path, tables).close()
        assert core_calc.get_airport_ref_coord(APT) is None
        assert "no such table" in capsys.readouterr().out

    @pytest.mark.parametrize("code", ["x" * 10_000, "ZS' OR '1'='1", "\u00dfz"])
    def test_odd_codes(self, navdb, code):
        navdb.insert("airports", (APT, 1.0, 2.0))
        assert core_calc.get_airport_ref_coord(code) is None


class TestDatabaseOpening:
    CALLS = [
        lambda: core_calc.build_procedures_from_db(APT, "tbl_sids"),
        lambda: core_calc.build_iaps_from_db(APT, "09L"),
        lambda: core_calc.get_airport_ref_coord(APT),
    ]

    @pytest.mark.parametrize("call", CALLS)
    def test_a_file_that_cannot_be_opened_reaches_the_caller(self, tmp_path, call):
        core_calc.DB_PATH = str(tmp_path)  # a directory exists but cannot be opened
        with pytest.raises(sqlite3.OperationalError):
            call()

    @pytest.mark.parametrize("call, prefix", list(zip(CALLS, [
        f"Error loading tbl_sids for {APT}: ",
        f"Error loading IAPs for {APT}: ",
        f"Error reading airport coord for {APT}: ",
    ])))
    @pytest.mark.parametrize("where", [("new.db",), ("missing", "nav.db")])
    def test_a_missing_file_fails_inside_the_guard_and_is_not_created(
            self, tmp_path, call, prefix, where, capsys):
        core_calc.DB_PATH = tmp_path.joinpath(*where)
        assert not call()
        assert not tmp_path.joinpath(*where).exists()
        assert capsys.readouterr().out == prefix + "unable to open database file\n"

    @pytest.mark.parametrize("call", CALLS)
    def test_deleted_db_path(self, call):
        del core_calc.DB_PATH
        with pytest.raises(NameError, match="DB_PATH"):
            call()


# --------------------------------------------------------------------------
# Direct candidates
# --------------------------------------------------------------------------

AIRPORT = (31.0, 121.0)


@pytest.fixture
def network():
    """A network whose waypoints are filed like loaded ones; GLOBAL_NETWORK holds it."""
    net = core_calc.RouteNetwork()
    core_calc.GLOBAL_NETWORK = net
    return net


def add_waypoint(net, name, lat, lon, with_coord=True):
    key = (name, lat, lon)
    if with_coord:
        net.coord_map[key] = (lat, lon)
    net.spatial_index.add_point(key, lat, lon)
    return key


def distance(lat, lon):
    return core_calc.vectorized_haversine(*AIRPORT, lat, lon)


BUILDERS = [
    (core_calc.build_direct_sid, "DCT", "🛫 [Debug] ZSSS 无 SID，直飞候选 ", "离场"),
    (core_calc.build_direct_star, "DIRECT", "🛬 [Debug] ZSSS 无 STAR/IAP，进近候选 ", "进近"),
]


@pytest.mark.parametrize("build, name, lead, kind", BUILDERS, ids=["sid", "star"])
class TestDirectCandidates:
    def test_nearest_twelve_by_default(self, network, build, name, lead, kind, capsys):
        # 30 waypoints within 100 km, listed farthest first; one more beyond the radius.
        for i in range(30, 0, -1):
            add_waypoint(network, f"W{i:02d}", 31.0 + i * 0.02, 121.0)
        add_waypoint(network, "FAR", 32.0, 121.0)
        procs = build(APT, *AIRPORT)
        assert len(procs) == 12
        entries = [p.points[0 if name == "DIRECT" else 1] for p in procs]
        assert [e[0] for e in entries] == [f"W{i:02d}" for i in range(1, 13)]
        labels = ", ".join(f"{e[0]}({distance(e[1], e[2]):.1f}km)" for e in entries)
        assert capsys.readouterr().out == lead + labels + "\n"

    def test_record_layout(self, network, build, name, lead, kind, capsys):
        add_waypoint(network, "NEAR", 31.1, 121.1)
        add_waypoint(network, "SAME", *AIRPORT)
        procs = build(APT, 31, 121.0, 100.0, 5)
        airport = ("ZSSSAPT", 31, 121.0)
        expected_entries = [("SAME", 31.0, 121.0), ("NEAR", 31.1, 121.1)]
        if name == "DCT":
            layouts = [[airport + (10,), e + (20,)] for e in expected_entries]
        else:
            layouts = [[e + (10,), airport + (20,)] for e in expected_entries]
        assert procs == [core_calc.Procedure(APT, name, pts) for pts in layouts]
        assert type(procs[0].points[0 if name == "DCT" else 1][1]) is int  # passed unchanged
        assert capsys.readouterr().out.startswith(lead + "SAME(0.0km), NEAR(")

    def test_three_within_radius_and_the_count_limit(self, network, build, name, lead, kind):
        for i in range(3):
            add_waypoint(network, f"W{i}", 31.0 + 0.1 * i, 121.0)
        assert len(build(APT, *AIRPORT)) == 3
        assert len(build(APT, *AIRPORT, k=2)) == 2
        assert len(build(APT, *AIRPORT, k=None)) == 3

    @pytest.mark.parametrize("radius, text", [(25.0, "25.0"), (25, "25"), (1e-05, "1e-05")])
    def test_nothing_within_radius(self, network, build, name, lead, kind, capsys, radius, text):
        add_waypoint(network, "FAR", 31.5, 121.0)
        assert build(APT, *AIRPORT, radius) == []
        assert capsys.readouterr().out == (
            f"⚠️ [Debug] ZSSS 附近 {text}km 内没有航路点，无法生成直飞{kind}。\n")

    def test_default_radius_is_fixed_at_load(self, network, build, name, lead, kind, capsys):
        add_waypoint(network, "W", 31.5, 121.0)  # about 56 km away
        core_calc.DIRECT_CONNECT_RADIUS = 10.0
        core_calc.DIRECT_ENTRY_CANDIDATES = 0
        assert len(build(APT, *AIRPORT)) == 1
        assert build(APT, *AIRPORT, radius=10.0) == []
        assert "附近 10.0km" in capsys.readouterr().out

    def test_procedure_name_is_read_at_use(self, network, build, name, lead, kind):
        add_waypoint(network, "W", 31.1, 121.0)
        core_calc.DIRECT_SID_NAME = core_calc.DIRECT_ARR_NAME = "CUSTOM"
        assert [p.name for p in build(APT, *AIRPORT)] == ["CUSTOM"]

    def test_without_network(self, build, name, lead, kind, capsys):
        assert core_calc.GLOBAL_NETWORK is None
        assert build(APT, *AIRPORT) == []
        assert capsys.readouterr().out == ""

    def test_not_a_network(self, build, name, lead, kind):
        core_calc.GLOBAL_NETWORK = {"graph": {}}
        with pytest.raises(TypeError, match="RouteNetwork"):
            build(APT, *AIRPORT)

    def test_waypoint_without_coordinates(self, network, build, name, lead, kind, capsys):
        key = add_waypoint(network, "GHOST", 31.1, 121.0, with_coord=False)
        with pytest.raises(KeyError) as raised:
            build(APT, *AIRPORT)
        assert raised.value.args == (key,)
        assert capsys.readouterr().out == ""

    @pytest.mark.parametrize(
        "args, error",
        [
            ((5, 31.0, 121.0), TypeError),
            ((APT, "31", 121.0), TypeError),
            ((APT, 31.0, 121.0, "100"), TypeError),
            ((APT, 31.0, 121.0, 100.0, 1.5), TypeError),
            ((APT, float("nan"), 121.0), ValueError),
        ],
    )
    def test_bad_arguments(self, network, build, name, lead, kind, args, error):
        add_waypoint(network, "W", 31.1, 121.0)
        with pytest.raises(error):
            build(*args)

    def test_loaded_network(self, db_path, build, name, lead, kind, capsys):
        NavDb(db_path).airway("A1", 1, [("AAA", 31.2, 121.0), ("BBB", 31.4, 121.0)]).close()
        core_calc.GLOBAL_NETWORK = core_calc.init_network()
        capsys.readouterr()
        procs = build(APT, *AIRPORT)
        entries = [p.points[0 if name == "DIRECT" else 1][0] for p in procs]
        assert entries == ["AAA", "BBB"]
