"""plan_for_api: the thread-safe entry point that returns API records."""
import itertools
import json
import os
import sqlite3
import sys
import threading

import pytest

import core_calc

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import gen_navdb  # noqa: E402


@pytest.fixture(scope="module")
def sample(tmp_path_factory):
    path = tmp_path_factory.mktemp("sample") / "tiny.db"
    gen_navdb.generate(str(path), "tiny")
    with sqlite3.connect(path) as conn:
        airports = [row[0] for row in conn.execute(
            "SELECT DISTINCT airport_identifier FROM tbl_sids ORDER BY 1")]
    return str(path), list(itertools.permutations(airports, 2))


@pytest.fixture
def loaded(sample, capsys):
    path, pairs = sample
    core_calc.DB_PATH = path
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    capsys.readouterr()
    return pairs


def test_leading_keys_are_the_classic_record(loaded, capsys):
    for dep, arr in loaded:
        result = core_calc.plan_for_api(dep, arr, batch_size=1)
        classic_out = capsys.readouterr().out
        best, alternatives = core_calc.generate_flight_plan(dep, arr, batch_size=1)
        assert capsys.readouterr().out == classic_out  # the same lines
        if best is None:
            assert result == {"plan": None, "alternatives": []}
            continue
        classic = [core_calc.format_for_api(p) for p in [best] + alternatives]
        records = [result["plan"]] + result["alternatives"]
        assert [{k: r[k] for k in c} for r, c in zip(records, classic)] == classic
        assert list(records[0])[len(classic[0]):] == [
            "flown_distance_km", "flown_distance_nm", "legs", "runways"]
        assert json.loads(json.dumps(result)) == result


def test_flown_distance_legs_and_runways(loaded):
    dep, arr = loaded[0]
    record = core_calc.plan_for_api(dep, arr)["plan"]
    points = record["detailed_waypoints"]
    legs = record["legs"]
    assert len(legs) == len(points) - 1
    assert [(l["from"], l["to"], l["airway"]) for l in legs] == [
        (a["name"], b["name"], b["airway"]) for a, b in zip(points, points[1:])]
    for leg, a, b in zip(legs, points, points[1:]):
        km = core_calc.vectorized_haversine(a["lat"], a["lon"], b["lat"], b["lon"])
        assert leg["distance_nm"] == pytest.approx(km / 1.852)
        assert leg["course"] == pytest.approx(core_calc.get_bearing(a["lat"], a["lon"],
                                                                    b["lat"], b["lon"]))
    assert record["flown_distance_km"] == pytest.approx(sum(l["distance_nm"] for l in legs) * 1.852)
    assert record["flown_distance_nm"] == pytest.approx(record["flown_distance_km"] / 1.852)
    assert record["flown_distance_km"] <= record["distance_km"] + 1  # no search penalties
    runways = record["runways"]
    assert runways["departure_ranked"][:1] == [record["dep_runway"]]
    assert runways["departure"] in runways["departure_ranked"]
    assert (runways["departure_wind"], runways["arrival_wind"]) == ("N/A", "N/A")


def test_forced_runway_is_the_runway_flown(loaded):
    dep, arr = loaded[0]
    forced = core_calc.plan_for_api(dep, arr, forced_dep_rwy="RW99")["plan"]
    assert forced["runways"]["departure"] == "RW99"
    assert forced["runways"]["departure_ranked"] == ["RW99"]


def test_report_gets_the_lines_and_no_attribute_is_written(loaded, capsys):
    core_calc.recommendeddep = core_calc.recommendedarr = "KEEP"
    dep, arr = loaded[0]
    lines = []
    core_calc.plan_for_api(dep, arr, report=lines.append)
    assert capsys.readouterr().out == ""
    assert lines[:2] == ["\n🔍 [Debug] 开始计算: " + dep + " -> " + arr, lines[1]]
    assert any(line.startswith("🎉") for line in lines)
    assert (core_calc.recommendeddep, core_calc.recommendedarr) == ("KEEP", "KEEP")


def test_report_gets_the_lines_of_the_readers_too(tmp_path, capsys):
    # No procedures and a missing approach table: the direct-arrival candidates and
    # the reader's failure line belong to the request's report as well.
    from navdb import NavDb
    db = NavDb(tmp_path / "nav.db", tables=["airway_segments", "airports", "tbl_sids"])
    db.airway("A1", 1, [("P1", 50.0, 10.0), ("P2", 50.0, 11.0)])
    db.insert("tbl_sids", ("AAAA", "S1", "ALL", 10, "D", 50.0, 9.5),
              ("AAAA", "S1", "ALL", 20, "P1", 50.0, 10.0))
    db.insert("airports", ("AAAA", 50.0, 9.4), ("ZZZZ", 50.0, 11.2))
    db.close()
    core_calc.DB_PATH = str(tmp_path / "nav.db")
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    capsys.readouterr()
    lines = []
    assert core_calc.plan_for_api("AAAA", "ZZZZ", forced_iap="I09",
                                  report=lines.append) is not None
    assert capsys.readouterr().out == ""
    assert any(line.startswith("Error loading IAPs for ZZZZ") for line in lines)
    lines.clear()
    core_calc.plan_for_api("AAAA", "ZZZZ", report=lines.append)
    assert capsys.readouterr().out == ""
    assert any(line.startswith("🛬 [Debug] ZZZZ 无 STAR/IAP，进近候选 P2") for line in lines)


def test_early_failures(loaded, capsys):
    assert core_calc.plan_for_api("NONE", loaded[0][1]) is None
    core_calc.GLOBAL_NETWORK = None
    assert core_calc.plan_for_api(*loaded[0]) is None


@pytest.mark.concurrency
def test_sixteen_threads_give_the_records_of_one(loaded):
    expected = {pair: core_calc.plan_for_api(*pair, report=lambda line: None) for pair in loaded}
    differences = []

    def work(offset):
        for i in range(len(loaded)):
            pair = loaded[(i + offset) % len(loaded)]
            if core_calc.plan_for_api(*pair, report=lambda line: None) != expected[pair]:
                differences.append(pair)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(16)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=300)
    assert not any(t.is_alive() for t in threads)
    assert differences == []
