"""generate_flight_plan on a small hand-built navigation database.

The world (latitude about 10.5, longitude 20 to 21, one grid cell):

    W1 --A1-- W2 --A1-- W3 (= the STAR's first fix)      X1..X4 --Ck-- W3 (spokes)
    W1 --B1-- V2 --B1-- W3
    W1 --D1-- U2 --D1-- W3                                 Z1 --Z9-- Z2 (island)

DEPA has the SID ALFA1 (ends on W1) and the spoke SIDs SPOKE1..4 (end on X1..X4);
ARRB has the STAR BRAVO1 (W3 -> T2) and the approach I27 that starts at T2. The
other airports lack one thing or another. No weather service is configured, so
runways come in database order with the wind "N/A".
"""
import os
import sqlite3
import sys
import threading

import pytest

import core_calc
from navdb import NavDb
from test_planning import W1, W2, W3, Z1, Z2, hav, legs, node, north_at, pos

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import gen_navdb  # noqa: E402

V2, U2 = node("V2", 10.52, 20.5), node("U2", 10.47, 20.5)
SPOKES = [node(f"X{k}", round(10.5 - 0.05 * k, 2), 20.5) for k in range(1, 5)]
T2, FAF, MAP = (10.7, 20.9), (10.7, 21.0), (10.7, 21.05)
APPROACH_KM = hav(T2, FAF) + hav(FAF, MAP)

AIRWAYS = [("A1", [W1, W2, W3]), ("B1", [W1, V2, W3]), ("D1", [W1, U2, W3]),
           ("Z9", [Z1, Z2])] + [(f"C{k}", [x, W3]) for k, x in enumerate(SPOKES, 1)]

AIRPORTS = [("DEPA", 10.5, 20.0), ("ARRB", 10.6, 20.9), ("DEPD", 10.5, 20.15),
            ("ARRD", 10.55, 20.85), ("DEPM", 10.5, 19.9)]
RUNWAYS = [("DEPA", "RW09", 90.0), ("DEPA", "RW27", 270.0), ("ARRB", "RW27", 270.0),
           ("DEPD", "RW09", 90.0), ("ARRD", "RW27", 270.0), ("DEPM", "RW09", 90.0),
           ("DEPM", "RW27", 270.0), ("DEPF", "RW09", 90.0), ("DEPG", "RW09", 90.0),
           ("DEPH", "RW09", 90.0), ("ARRN", "RW27", 270.0), ("DEPS", "RW09", 90.0)]


def rows(apt, proc, trans, *points, first_seq=10):
    return [(apt, proc, trans, first_seq + 10 * i, name, lat, lon)
            for i, (name, lat, lon) in enumerate(points)]


def fix(name, where):
    return (name, where[0], where[1])


SIDS = (
    rows("DEPA", "ALFA1", "RW09", ("DEP09", 10.5, 20.0), W1)
    + [r for k, x in enumerate(SPOKES, 1)
       for r in rows("DEPA", f"SPOKE{k}", "RW09", (f"S{k}0", x[1], 20.3), x)]
    # MB serves both runways (its first fix differs), MC only RW09, MA only RW27;
    # all of them end with P -> W1.
    + [r for proc, rwy, first in (("MB", "RW09", "MB09"), ("MB", "RW27", "MB27"),
                                  ("MC", "RW09", "MC09"), ("MA", "RW27", "MA27"))
       for r in rows("DEPM", proc, rwy, (first, 10.5, 19.8), ("P", 10.5, 20.0), W1)]
    # Ends 10 km north of W1: joins only with the wider retry radius.
    + rows("DEPF", "FAR1", "RW09", ("F0", 10.5, 20.0), fix("F1", north_at(pos(W1), 10.0)))
    # Flies west, away from the destination in the east.
    + rows("DEPG", "BACK1", "RW09", ("B0", 10.5, 20.6), W1)
    # Ends on the island, from where nothing leads to the destination.
    + rows("DEPH", "ISLE1", "RW09", ("I0", 10.9, 20.0), Z1)
    # Ends on W1 with a short final leg: a one-edge route W1 -> W2 to a STAR at W2.
    + rows("DEPS", "SHORT1", "RW09", ("H0", 10.5, 20.0), W1)
)
STARS = (rows("ARRB", "BRAVO1", "ALL", W3, ("T2",) + T2)
         + rows("ARRB", "BRAVO2", "RW27", W2, ("T9", 10.3, 20.6))
         + rows("ARRS", "NEAR1", "ALL", W2, ("N9", 10.6, 20.6)))
IAPS = rows("ARRB", "I27", None, ("T2",) + T2, ("FAF",) + FAF, ("MAP",) + MAP)


@pytest.fixture(scope="module")
def world_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("world") / "world.db"
    db = NavDb(path)
    for uid, (route, points) in enumerate(AIRWAYS, 1):
        db.airway(route, uid, points)
    db.insert("airports", *AIRPORTS)
    db.insert("tbl_runways", *[(apt, rwy, None, None, brg) for apt, rwy, brg in RUNWAYS])
    db.insert("tbl_sids", *SIDS)
    db.insert("tbl_stars", *[r for r in STARS if r[1] != "BRAVO2"])
    db.insert("tbl_iaps", *IAPS)
    db.close()
    return path


@pytest.fixture
def world(world_db, capsys):
    core_calc.DB_PATH = str(world_db)
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    capsys.readouterr()
    return core_calc.GLOBAL_NETWORK


def lines(capsys):
    return capsys.readouterr().out.split("\n")[:-1]


def head(dep, arr, dep_rwys, arr_rwys):
    return ["", f"🔍 [Debug] 开始计算: {dep} -> {arr}",
            f"ℹ️ [Debug] 推荐跑道组: 起飞 {dep_rwys} (风: N/A) | 降落 {arr_rwys} (风: N/A)"]


def stats(sids, stars, iaps):
    return f"✅ [Debug] 数据聚合统计: SID: {sids} | STAR: {stars} | IAP: {iaps}"


SEARCHING = "⏳ 正在计算最佳路径 (多线程)..."
RADIUS = "⚠️ [Debug] 默认半径 (5.0km) 无结果，扩大至 60.0km 重试..."
BEARING = "⚠️ [Debug] 扩大半径仍无结果，解除方向剪枝 (bearings > 110°) 重试..."
NO_ROUTE = "❌ [Debug] 失败: 遍历了所有组合，但无法找到有效连通路径。"
DIRECT_NOTE = "   ⚠️ 注意: 此航路为直飞跑道，未连接任何进近程序。"


def found(plan, alternatives=0):
    out = [f"🎉 [Debug] 成功找到航路! 总距离: {int(plan['distance'])} km",
           f"   👉 路由详情: SID[{plan['sid']}] -> STAR[{plan['star']}] -> APPR[{plan['approach']}]"]
    if alternatives:
        out.append(f"   📋 另有 {alternatives} 条替代方案")
    return out


def spoke_km(k):
    """SPOKEk: Xk -> W3 on Ck, bending at Xk by the spoke's angle (turn penalty)."""
    x = SPOKES[k - 1]
    angle = core_calc.get_turn_angle(x[1], 20.3, x[1], x[2], W3[1], W3[2])
    turn = 1000 if angle > 90 else 200 if angle > 45 else 2 * angle if angle > 15 else 0
    return legs(x, W3) + turn


class Recorder:
    """Wraps a module callable and records the arguments of every call."""

    def __init__(self, monkeypatch, name, replace=None):
        self.calls = []
        self.original = getattr(core_calc, name)
        self.replace = replace
        monkeypatch.setattr(core_calc, name, self)

    def __call__(self, *args):
        self.calls.append(args)
        return (self.replace or self.original)(*args)


# --------------------------------------------------------------------------
# The report and the result
# --------------------------------------------------------------------------


class TestReport:
    def test_full_search_lines_and_result(self, world, capsys):
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB")
        assert alternatives == []
        assert (best["sid"], best["star"], best["approach"], best["approach_runway"]) == (
            "SPOKE1", "BRAVO1", "I27.MAIN", "RW27")
        assert best["enroute"] == [W3] and best["route_ids"] == ["C1"]
        assert best["distance"] == pytest.approx(spoke_km(1) + APPROACH_KM, rel=1e-12)
        assert lines(capsys) == head("DEPA", "ARRB", "['RW09', 'RW27']", "['RW27']") + [
            stats(5, 1, 1), SEARCHING] + found(best)
        assert (core_calc.recommendeddep, core_calc.recommendedarr) == ("RW09", "RW27")

    def test_alternatives_line_and_ranking(self, world, capsys):
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=1)
        # Five SIDs, five different routes; the four shortest survive, shortest first.
        ranked = sorted([(spoke_km(k), f"SPOKE{k}") for k in range(1, 5)]
                        + [(legs(W1, W2, W3), "ALFA1")])
        plans = [best] + alternatives
        assert [p["sid"] for p in plans] == [name for _, name in ranked[:4]]
        assert [p["distance"] for p in plans] == pytest.approx(
            [km + APPROACH_KM for km, _ in ranked[:4]], rel=1e-12)
        assert lines(capsys)[-3:] == found(best, alternatives=3)

    def test_batch_size_20_against_1(self, world):
        assert core_calc.generate_flight_plan("DEPA", "ARRB", 20)[1] == []
        assert len(core_calc.generate_flight_plan("DEPA", "ARRB", 2)[1]) == 2  # three batches
        assert len(core_calc.generate_flight_plan("DEPA", "ARRB", 1)[1]) == 3

    def test_plans_with_the_same_route_are_dropped(self, world, monkeypatch):
        # A second record of SPOKE1 under another name flies the same airways.
        original = core_calc.build_procedures_from_db

        def doubled(icao, table, runway=None):
            procs = original(icao, table, runway)
            if "SPOKE1" in procs:
                twin = procs["SPOKE1"]
                procs["AAA1"] = core_calc.Procedure(twin.airport, "AAA1", twin.points)
            return procs

        monkeypatch.setattr(core_calc, "build_procedures_from_db", doubled)
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=1)
        plans = [best] + alternatives
        keys = ["|".join(p["route_ids"]) for p in plans]
        assert len(keys) == len(set(keys)) == 4
        assert best["sid"] in ("SPOKE1", "AAA1")
        # The twin takes one place less: SPOKE4, the fifth distinct route, is cut.
        assert [p["sid"] for p in plans[1:]] == ["ALFA1", "SPOKE2", "SPOKE3"]

    def test_direct_arrival_warning_line(self, world, capsys):
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRD", forced_sid="ALFA1")
        assert (best["star"], best["approach"]) == ("DIRECT", "N/A")
        assert lines(capsys)[-1] == DIRECT_NOTE

    def test_result_is_a_pair_of_plan_and_list(self, world):
        result = core_calc.generate_flight_plan("DEPA", "ARRB")
        assert isinstance(result, tuple) and len(result) == 2
        assert isinstance(result[1], list)
        assert isinstance(core_calc.format_for_api(result[0]), dict)


class TestNetworkNotLoaded:
    def test_message_and_nothing_else(self, world_db, capsys, monkeypatch):
        core_calc.GLOBAL_NETWORK = None
        core_calc.recommendeddep, core_calc.recommendedarr = "KEEP-D", "KEEP-A"
        weather = Recorder(monkeypatch, "get_best_runway_and_wind")
        assert core_calc.generate_flight_plan("DEPA", "ARRB") is None
        assert lines(capsys) == ["", "🔍 [Debug] 开始计算: DEPA -> ARRB",
                                 "❌ [Debug] 错误:  (GLOBAL_NETWORK) 未加载!"]
        assert weather.calls == []
        assert (core_calc.recommendeddep, core_calc.recommendedarr) == ("KEEP-D", "KEEP-A")

    def test_something_else_than_a_network(self, world):
        core_calc.GLOBAL_NETWORK = {"graph": {}}
        with pytest.raises(TypeError):
            core_calc.generate_flight_plan("DEPA", "ARRB")


# --------------------------------------------------------------------------
# Runways, SIDs, STARs and approaches
# --------------------------------------------------------------------------


class TestRunways:
    def test_both_queries_are_made_and_forced_runways_replace_them(self, world, capsys,
                                                                   monkeypatch):
        weather = Recorder(monkeypatch, "get_best_runway_and_wind")
        loads = Recorder(monkeypatch, "build_procedures_from_db")
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB", forced_dep_rwy="RW27",
                                                 forced_arr_rwy="RW09")
        assert weather.calls == [("DEPA",), ("ARRB",)]
        assert lines(capsys)[:3] == head("DEPA", "ARRB", "['RW27']", "['RW09']")
        assert (core_calc.recommendeddep, core_calc.recommendedarr) == ("RW27", "RW09")
        # RW27 has no SID of its own at DEPA: the all-runway fallback follows.
        assert loads.calls[:2] == [("DEPA", "tbl_sids", "RW27"), ("DEPA", "tbl_sids", None)]
        assert ("ARRB", "tbl_stars", "RW09") in loads.calls
        assert best["sid"] == "SPOKE1"

    def test_wind_text_and_runways_of_the_weather_ranking(self, world, capsys, monkeypatch):
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: (["RW27", "RW09"], "240") if icao == "DEPA"
                            else (["RW27"], ""))
        core_calc.generate_flight_plan("DEPA", "ARRB")
        assert lines(capsys)[2] == (
            "ℹ️ [Debug] 推荐跑道组: 起飞 ['RW27', 'RW09'] (风: 240) | 降落 ['RW27'] (风: )")
        assert core_calc.recommendeddep == "RW27"

    def test_empty_departure_runway_list(self, world, capsys, monkeypatch):
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: ([], "N/A") if icao == "DEPA" else (["RW27"], "N/A"))
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB")
        out = lines(capsys)
        assert out[2:4] == ["ℹ️ [Debug] 推荐跑道组: 起飞 [] (风: N/A) | 降落 ['RW27'] (风: N/A)",
                            "⚠️ [Debug] 推荐跑道均无 SID，尝试查找机场所有 SID (runway=None)..."]
        assert out[4] == stats(5, 1, 1)
        assert core_calc.recommendeddep == "N/A"
        assert best["sid"] == "SPOKE1"

    def test_no_arrival_runway_loads_every_star_and_no_approach(self, world, capsys,
                                                                monkeypatch):
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: (["RW09"], "N/A") if icao == "DEPA" else ([], "N/A"))
        loads = Recorder(monkeypatch, "build_procedures_from_db")
        iaps = Recorder(monkeypatch, "build_iaps_from_db")
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB")
        assert ("ARRB", "tbl_stars", None) in loads.calls and iaps.calls == []
        assert stats(5, 1, 0) in lines(capsys)
        assert core_calc.recommendedarr == "N/A"
        assert (best["star"], best["approach"]) == ("BRAVO1", "N/A")

    def test_table_names_go_through_tn(self, world, monkeypatch):
        core_calc.TABLE_SUFFIX = "_X"
        loads = Recorder(monkeypatch, "build_procedures_from_db",
                         replace=lambda *args: {})
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind", lambda icao: (["R1"], "N/A"))
        monkeypatch.setattr(core_calc, "get_airport_ref_coord", lambda icao: None)
        assert core_calc.generate_flight_plan("DEPA", "ARRB") is None
        assert loads.calls == [("DEPA", "tbl_sids_X", "R1"), ("DEPA", "tbl_sids_X", None)]


class TestSids:
    def test_sid_of_two_runways_keeps_its_first_place_and_the_later_record(self, world,
                                                                            capsys):
        # RW09 gives MB, MC; RW27 gives MA, MB: merged MB (RW27's record), MC, MA. All
        # three fly the same route, so the first combination of the single batch wins.
        best, _ = core_calc.generate_flight_plan("DEPM", "ARRB")
        assert stats(3, 1, 1) in lines(capsys)
        assert best["sid"] == "MB"
        assert [p[0] for p in best["points"]["sid"]] == ["MB27", "P", "W1"]

    def test_error_for_one_runway_is_reported_and_the_next_goes_on(self, world, capsys,
                                                                   monkeypatch):
        original = core_calc.build_procedures_from_db

        def failing(icao, table, runway=None):
            if runway == "RW09" and table == "tbl_sids":
                raise OSError("disk went away")
            return original(icao, table, runway)

        monkeypatch.setattr(core_calc, "build_procedures_from_db", failing)
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: (["RW09", "RW27"], "N/A"))
        best, _ = core_calc.generate_flight_plan("DEPM", "ARRB")
        out = lines(capsys)
        assert out[3] == "⚠️ 跑道 RW09 读取 SID 出错: disk went away"
        assert out[4] == stats(2, 1, 1)  # MA and MB of RW27
        assert best["sid"] == "MA"

    @pytest.mark.parametrize("table", ["tbl_sids", "tbl_stars"])
    def test_an_interrupt_is_not_a_load_error(self, world, monkeypatch, table):
        def interrupted(icao, name, runway=None):
            if name == table:
                raise KeyboardInterrupt
            return {}

        monkeypatch.setattr(core_calc, "build_procedures_from_db", interrupted)
        with pytest.raises(KeyboardInterrupt):
            core_calc.generate_flight_plan("DEPA", "ARRB")

    def test_error_of_the_all_runway_load_reaches_the_caller(self, world, monkeypatch):
        def failing(icao, table, runway=None):
            if runway is None:
                raise OSError("no database")
            return {}

        monkeypatch.setattr(core_calc, "build_procedures_from_db", failing)
        with pytest.raises(OSError, match="no database"):
            core_calc.generate_flight_plan("DEPA", "ARRB")

    def test_direct_sids_from_the_reference_point(self, world, capsys, monkeypatch):
        candidates = core_calc.build_direct_sid("DEPD", 10.5, 20.15)
        capsys.readouterr()
        directs = Recorder(monkeypatch, "build_direct_sid")
        best, _ = core_calc.generate_flight_plan("DEPD", "ARRB")
        assert directs.calls == [("DEPD", 10.5, 20.15)]
        out = lines(capsys)
        assert out[3] == "⚠️ [Debug] 推荐跑道均无 SID，尝试查找机场所有 SID (runway=None)..."
        assert out[4].startswith("🛫 [Debug] DEPD 无 SID，直飞候选 ")
        assert out[5] == stats(len(candidates), 1, 1)  # DCT#0, DCT#1, ... all kept
        assert best["sid"] == "DCT"
        assert best["points"]["sid"][0] == ("DEPDAPT", 10.5, 20.15, 10)
        star = core_calc.build_procedures_from_db("ARRB", "tbl_stars")["BRAVO1"]
        approaches = core_calc.build_iaps_from_db("ARRB", "RW27")
        routed = [core_calc.process_combination(c, star, approaches, "DEPD", "ARRB")
                  for c in candidates]
        assert best["distance"] == min(p["distance"] for p in routed if p)

    def test_no_sid_and_no_reference_point(self, world, capsys):
        assert core_calc.generate_flight_plan("DEPF0", "ARRB") is None
        assert lines(capsys) == head("DEPF0", "ARRB", "[]", "['RW27']") + [
            "⚠️ [Debug] 推荐跑道均无 SID，尝试查找机场所有 SID (runway=None)...",
            "❌ [Debug] 失败: DEPF0 没有任何 SID 数据。"]


class TestArrivals:
    def test_error_for_one_arrival_runway_skips_its_approaches(self, world, capsys,
                                                               monkeypatch):
        original = core_calc.build_procedures_from_db

        def failing(icao, table, runway=None):
            if table == "tbl_stars" and runway == "RW27":
                raise RuntimeError("bad STAR table")
            return original(icao, table, runway)

        monkeypatch.setattr(core_calc, "build_procedures_from_db", failing)
        iaps = Recorder(monkeypatch, "build_iaps_from_db")
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: (["RW09"], "N/A") if icao == "DEPA"
                            else (["RW27", "RW09"], "N/A"))
        core_calc.generate_flight_plan("DEPA", "ARRB")
        out = lines(capsys)
        assert "⚠️ 跑道 RW27 读取 STAR/IAP 出错: bad STAR table" in out
        assert iaps.calls == [("ARRB", "RW09")]

    def test_stars_and_approaches_of_every_arrival_runway(self, world, capsys, monkeypatch):
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: (["RW09"], "N/A") if icao == "DEPA"
                            else (["RW27", "27"], "N/A"))
        core_calc.generate_flight_plan("DEPA", "ARRB")
        # "RW27" and "27" both select BRAVO1 (merged once) and I27 (appended twice).
        assert stats(5, 1, 2) in lines(capsys)

    def test_direct_arrivals_chosen_by_total_distance(self, world, capsys):
        candidates = core_calc.build_direct_star("ARRD", 10.55, 20.85)
        capsys.readouterr()
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRD", forced_sid="ALFA1")
        out = lines(capsys)
        assert out[3] == "🔒 [Debug] 强制使用 SID: ALFA1"
        assert out[4] == stats(1, 0, 0)
        assert out[5].startswith("🛬 [Debug] ARRD 无 STAR/IAP，进近候选 ")
        assert out[6] == (f"⚠️ [Debug] 目的地 ARRD 没有 STAR/IAP，已生成 {len(candidates)} "
                          "个直飞进近候选。")
        # W3 is the nearest candidate, but the route to W2 is shorter.
        assert candidates[0].points[0][0] == "W3"
        assert best["enroute"] == [W2] and best["points"]["star"][0][0] == "W2"
        assert best["points"]["star"][1] == ("ARRDAPT", 10.55, 20.85, 20)
        assert best["arr_connectors"] == []
        assert best["distance"] == pytest.approx(legs(W1, W2), rel=1e-12)
        tail = found(best, len(alternatives)) + [DIRECT_NOTE]
        assert out[-len(tail):] == tail

    def test_no_arrival_procedure_and_no_reference_point(self, world, capsys):
        assert core_calc.generate_flight_plan("DEPA", "ARRN") == (None, [])
        assert lines(capsys) == head("DEPA", "ARRN", "['RW09', 'RW27']", "['RW27']") + [
            stats(5, 0, 0), SEARCHING, RADIUS, BEARING, NO_ROUTE]


# --------------------------------------------------------------------------
# Forced procedures
# --------------------------------------------------------------------------


class TestForced:
    def test_forced_sid_routes_alternatives_with_penalties(self, world, capsys):
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="ALFA1")
        routes = [p["route_ids"] for p in [best] + alternatives]
        # Each attempt avoids the legs already flown; the fourth repeats A1 and stops.
        assert routes == [["A1", "A1"], ["B1", "B1"], ["D1", "D1"]]
        assert [p["distance"] for p in [best] + alternatives] == pytest.approx(
            [legs(W1, m, W3) + APPROACH_KM for m in (W2, V2, U2)], rel=1e-12)
        assert lines(capsys) == head("DEPA", "ARRB", "['RW09', 'RW27']", "['RW27']") + [
            "🔒 [Debug] 强制使用 SID: ALFA1", stats(1, 1, 1), SEARCHING] + found(best, 2)

    def test_nothing_forced_with_one_combination_runs_the_full_search(self, world,
                                                                      monkeypatch):
        original = core_calc.build_procedures_from_db

        def only_alfa(icao, table, runway=None):
            procs = original(icao, table, runway)
            return {k: v for k, v in procs.items() if k in ("ALFA1", "BRAVO1")}

        monkeypatch.setattr(core_calc, "build_procedures_from_db", only_alfa)
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=1)
        assert best["route_ids"] == ["A1", "A1"] and alternatives == []

    def test_forced_sid_not_found(self, world, capsys):
        core_calc.recommendeddep = core_calc.recommendedarr = "OLD"
        assert core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="NOPE1") is None
        assert lines(capsys)[3:] == ["❌ [Debug] 强制 SID 'NOPE1' 未找到"]
        assert (core_calc.recommendeddep, core_calc.recommendedarr) == ("RW09", "RW27")

    def test_forced_sid_has_no_runway_filter(self, world, capsys):
        # ALFA1 has no RW27 transition.
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="ALFA1",
                                                 forced_dep_rwy="RW27")
        assert best["sid"] == "ALFA1"

    def test_forced_star(self, world, capsys):
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB", forced_star="BRAVO1")
        out = lines(capsys)
        assert out[3:5] == ["🔒 [Debug] 强制使用 STAR: BRAVO1", stats(5, 1, 0)]
        # Five SIDs: the full search; no approach is loaded without a forced one.
        assert (best["sid"], best["star"], best["approach"]) == ("SPOKE1", "BRAVO1", "N/A")

    def test_forced_star_not_found_falls_back_to_direct_arrivals(self, world, capsys):
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRD", forced_sid="ALFA1",
                                                 forced_star="NOPE")
        out = lines(capsys)
        assert out[3:6] == ["🔒 [Debug] 强制使用 SID: ALFA1",
                            "⚠️ [Debug] 强制 STAR 'NOPE' 未找到", stats(1, 0, 0)]
        assert best["star"] == "DIRECT"

    def test_forced_iap_alone_loads_no_star(self, world, capsys, monkeypatch):
        iaps = Recorder(monkeypatch, "build_iaps_from_db")
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="ALFA1",
                                                            forced_iap="I27")
        assert iaps.calls == [("ARRB", "RW27")]
        out = lines(capsys)
        assert out[4:6] == ["🔒 [Debug] 强制使用 IAP: I27 (找到 1 个变体)", stats(1, 0, 1)]
        assert (best["star"], best["approach"]) == ("DIRECT", "I27.MAIN")
        # The approach-only branch: joined at T2's nearest node within 200 km.
        assert best["points"]["star"] == []

    @pytest.mark.parametrize("forced_arr_rwy, arr_runways, iap_rwy", [
        ("RW09", ["RW27"], "RW09"), (None, ["RW27", "RW09"], "RW27"), (None, [], "ALL")])
    def test_forced_iap_runway(self, world, monkeypatch, forced_arr_rwy, arr_runways, iap_rwy):
        iaps = Recorder(monkeypatch, "build_iaps_from_db", replace=lambda icao, rwy: [])
        monkeypatch.setattr(core_calc, "get_best_runway_and_wind",
                            lambda icao: (["RW09"], "N/A") if icao == "DEPA"
                            else (arr_runways, "N/A"))
        core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="ALFA1", forced_iap="I",
                                       forced_arr_rwy=forced_arr_rwy)
        assert iaps.calls == [("ARRB", iap_rwy)]

    def test_forced_iap_prefix_selects_every_variant(self, world, capsys, monkeypatch):
        variants = [core_calc.Approach(name, "RW27", "T2", [("T2",) + T2 + (10.0,)])
                    for name in ("I27.AAA", "I27.BBB", "X27.AAA", "I2")]
        monkeypatch.setattr(core_calc, "build_iaps_from_db", lambda icao, rwy: variants)
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="ALFA1",
                                                 forced_iap="I27")
        assert "🔒 [Debug] 强制使用 IAP: I27 (找到 2 个变体)" in lines(capsys)
        assert best["approach"] == "I27.AAA"

    def test_forced_iap_not_found_means_no_direct_arrival(self, world, capsys):
        assert core_calc.generate_flight_plan("DEPA", "ARRD", forced_sid="ALFA1",
                                              forced_iap="ZZ") == (None, [])
        assert lines(capsys)[3:] == [
            "🔒 [Debug] 强制使用 SID: ALFA1", "⚠️ [Debug] 强制 IAP 'ZZ' 未找到", stats(1, 0, 0),
            SEARCHING, RADIUS, NO_ROUTE]

    def test_forced_search_retries_with_the_wider_radius(self, world, capsys):
        best, alternatives = core_calc.generate_flight_plan("DEPF", "ARRB", forced_sid="FAR1")
        out = lines(capsys)
        assert out[6] == RADIUS and BEARING not in out
        assert best["route_ids"] == ["A1", "A1"] and len(alternatives) == 2

    def test_forced_search_drops_routes_of_one_node(self, world, capsys):
        # SHORT1 -> NEAR1 is the single edge W1 -> W2: the forced search keeps no
        # plan of fewer than two en-route nodes, the full search does.
        assert core_calc.generate_flight_plan("DEPS", "ARRS", forced_sid="SHORT1") == (None, [])
        assert lines(capsys)[-2:] == [RADIUS, NO_ROUTE]
        best, _ = core_calc.generate_flight_plan("DEPS", "ARRS")
        assert best["enroute"] == [W2]

    def test_forced_with_several_combinations_runs_the_full_search(self, world, monkeypatch):
        original = core_calc.build_procedures_from_db
        extra = core_calc.Procedure("ARRB", "BRAVO2", [("W2",) + pos(W2) + (10,),
                                                       ("T9", 10.3, 20.6, 20)])

        def two_stars(icao, table, runway=None):
            procs = original(icao, table, runway)
            return {**procs, "BRAVO2": extra} if table == "tbl_stars" else procs

        monkeypatch.setattr(core_calc, "build_procedures_from_db", two_stars)
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="ALFA1",
                                                            batch_size=1)
        # (ALFA1, BRAVO1) and (ALFA1, BRAVO2), one batch each, no penalised repeats.
        assert sorted(p["star"] for p in [best] + alternatives) == ["BRAVO1", "BRAVO2"]


# --------------------------------------------------------------------------
# The full search: retries and batch sizes
# --------------------------------------------------------------------------


class TestRetries:
    def test_wider_radius(self, world, capsys):
        best, _ = core_calc.generate_flight_plan("DEPF", "ARRB")
        assert lines(capsys)[3:] == [stats(1, 1, 1), SEARCHING, RADIUS] + found(best)
        assert best["enroute"] == [W2, W3]

    def test_direction_pruning_lifted_last(self, world, capsys):
        best, _ = core_calc.generate_flight_plan("DEPG", "ARRB")
        assert lines(capsys)[3:] == [stats(1, 1, 1), SEARCHING, RADIUS, BEARING] + found(best)
        assert best["sid"] == "BACK1"

    def test_nothing_routable(self, world, capsys):
        assert core_calc.generate_flight_plan("DEPH", "ARRB") == (None, [])
        assert lines(capsys)[3:] == [stats(1, 1, 1), SEARCHING, RADIUS, BEARING, NO_ROUTE]

    def test_messages_show_the_current_constants(self, world, capsys):
        core_calc.SID_JOIN_RADIUS = 7.5
        core_calc.SID_JOIN_RADIUS_FALLBACK = 30.25
        core_calc.SID_BEARING_LIMIT = 100
        core_calc.generate_flight_plan("DEPH", "ARRB")
        out = lines(capsys)
        assert "⚠️ [Debug] 默认半径 (7.5km) 无结果，扩大至 30.25km 重试..." in out
        assert "⚠️ [Debug] 扩大半径仍无结果，解除方向剪枝 (bearings > 100°) 重试..." in out

    def test_zero_batch_size_is_an_error(self, world):
        with pytest.raises(ValueError, match="batch_size"):
            core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=0)

    @pytest.mark.parametrize("size", [-1, -20])
    def test_negative_batch_size_finds_nothing(self, world, capsys, size):
        assert core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=size) == (None, [])
        assert lines(capsys)[3:] == [stats(5, 1, 1), SEARCHING, RADIUS, BEARING, NO_ROUTE]

    @pytest.mark.parametrize("size", [2.0, "20", None])
    def test_batch_size_must_be_an_integer(self, world, size):
        with pytest.raises(TypeError):
            core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=size)

    def test_huge_batch_size_is_one_batch(self, world):
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=10**30)
        assert best["sid"] == "SPOKE1" and alternatives == []

    def test_batch_size_is_not_checked_by_the_forced_search(self, world):
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB", 0, "ALFA1")
        assert best["sid"] == "ALFA1"


class TestFailingBatches:
    """A hand-built network whose node M has no coordinates: a route through it
    cannot be priced, so that combination fails instead of giving a plan."""

    @pytest.fixture
    def broken(self, world):
        net = core_calc.RouteNetwork()
        s, m, e = ("S", 10.5, 20.2), ("M", 10.5, 20.5), ("E", 10.5, 20.8)
        s2 = ("S2", 10.45, 20.5)
        for a, b in ((s, m), (m, e), (s2, e)):
            net.add_edge(a, b, hav(pos(a), pos(b)), "Q1")
        for key in (s, e, s2):
            net.coord_map[key] = pos(key)
        for key in (s, m, e, s2):
            net.spatial_index.add_point(key, *pos(key))
        core_calc.GLOBAL_NETWORK = net
        sid_bad = core_calc.Procedure("DEPA", "BAD", [("A", 10.5, 20.0, 10), ("S", 10.5, 20.2, 20)])
        sid_ok = core_calc.Procedure("DEPA", "OK", [("B", 10.45, 20.3, 10), ("S2", 10.45, 20.5, 20)])
        star = core_calc.Procedure("ARRB", "IN", [("E", 10.5, 20.8, 10), ("F", 10.6, 20.9, 20)])
        return sid_bad, sid_ok, star

    def test_process_combination_reports_the_node(self, broken):
        sid_bad, _, star = broken
        with pytest.raises(KeyError):
            core_calc.process_combination(sid_bad, star, [], "DEPA", "ARRB")

    def test_the_pool_drops_the_failed_batch(self, broken, monkeypatch):
        sid_bad, sid_ok, star = broken
        monkeypatch.setattr(core_calc, "build_procedures_from_db",
                            lambda icao, table, runway=None:
                            {"BAD": sid_bad, "OK": sid_ok} if "sids" in table else {"IN": star})
        monkeypatch.setattr(core_calc, "build_iaps_from_db", lambda icao, rwy: [])
        best, alternatives = core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=1)
        assert best["sid"] == "OK" and alternatives == []
        assert best["points"]["sid"] is sid_ok.points and best["points"]["star"] is star.points
        # In one batch the failure takes the whole batch with it.
        assert core_calc.generate_flight_plan("DEPA", "ARRB", batch_size=2) == (None, [])

    def test_the_forced_search_reports_the_error(self, broken, monkeypatch):
        sid_bad, _, star = broken
        monkeypatch.setattr(core_calc, "build_procedures_from_db",
                            lambda icao, table, runway=None:
                            {"BAD": sid_bad} if "sids" in table else {"IN": star})
        monkeypatch.setattr(core_calc, "build_iaps_from_db", lambda icao, rwy: [])
        with pytest.raises(KeyError):
            core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid="BAD")


# --------------------------------------------------------------------------
# Concurrency
# --------------------------------------------------------------------------


def run_threads(count, target):
    errors = []

    def guarded():
        try:
            target()
        except BaseException as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=guarded) for _ in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert not any(t.is_alive() for t in threads)
    assert errors == []


REQUESTS = [("DEPA", "ARRB", 1), ("DEPA", "ARRB", 20), ("DEPM", "ARRB", 20),
            ("DEPG", "ARRB", 20), ("DEPA", "ARRB", 20, "ALFA1")]


@pytest.mark.concurrency
class TestConcurrency:
    def test_eight_threads_give_the_results_of_one(self, world, capsys):
        expected = [core_calc.generate_flight_plan(*r) for r in REQUESTS]
        results = []

        def work():
            for _ in range(3):
                results.append([core_calc.generate_flight_plan(*r) for r in REQUESTS])

        run_threads(8, work)
        assert len(results) == 24
        assert all(r == expected for r in results)

    def test_rebinding_the_network_during_calls(self, world, world_db, tmp_path, capsys):
        other_path = tmp_path / "other.db"
        NavDb(other_path).airway("Q1", 1, [("Q", 10.5, 20.2), ("R", 10.5, 20.5)]).close()
        other = core_calc.init_network()  # reads world_db: same network, new object
        core_calc.DB_PATH = str(other_path)
        elsewhere = core_calc.init_network()
        core_calc.DB_PATH = str(world_db)
        expected = [core_calc.generate_flight_plan(*r) for r in REQUESTS]
        core_calc.GLOBAL_NETWORK = elsewhere
        expected_elsewhere = [core_calc.generate_flight_plan(*r) for r in REQUESTS]
        stop = threading.Event()

        def rebinder():
            choices = [None, elsewhere, other, world]
            i = 0
            while not stop.is_set():
                core_calc.GLOBAL_NETWORK = choices[i % 4]
                i += 1

        results = []

        def work():
            for _ in range(3):
                for r in REQUESTS:
                    results.append((r, core_calc.generate_flight_plan(*r)))

        flipper = threading.Thread(target=rebinder)
        flipper.start()
        try:
            run_threads(4, work)
        finally:
            stop.set()
            flipper.join()
        # A call that saw no network says so; every other call gives the result of
        # the network it started with.
        assert len(results) == 4 * 3 * len(REQUESTS)
        for r, result in results:
            i = REQUESTS.index(r)
            assert result in (expected[i], expected_elsewhere[i], None)

    def test_loading_while_planning(self, world, capsys):
        # The host reloads the network on one thread while others plan.
        expected = [core_calc.generate_flight_plan(*r) for r in REQUESTS]
        stop = threading.Event()
        loads = []

        def reloader():
            while not stop.is_set() or not loads:
                core_calc.GLOBAL_NETWORK = core_calc.init_network()
                loads.append(True)

        results = []

        def work():
            for _ in range(3):
                results.append([core_calc.generate_flight_plan(*r) for r in REQUESTS])

        loader = threading.Thread(target=reloader)
        loader.start()
        try:
            run_threads(4, work)
        finally:
            stop.set()
            loader.join()
        assert loads and len(results) == 12
        assert all(r == expected for r in results)

    def test_a_call_keeps_the_network_it_started_with(self, world, world_db, tmp_path,
                                                      monkeypatch):
        expected = core_calc.generate_flight_plan("DEPA", "ARRB", 1)
        other_path = tmp_path / "other.db"
        NavDb(other_path).airway("Q1", 1, [("Q", 10.5, 20.2), ("R", 10.5, 20.5)]).close()
        original = core_calc.get_best_runway_and_wind

        def rebinding(icao):
            core_calc.DB_PATH = str(other_path)
            core_calc.GLOBAL_NETWORK = core_calc.init_network()
            core_calc.DB_PATH = str(world_db)
            result = original(icao)
            core_calc.GLOBAL_NETWORK = None
            return result

        monkeypatch.setattr(core_calc, "get_best_runway_and_wind", rebinding)
        assert core_calc.generate_flight_plan("DEPA", "ARRB", 1) == expected

    def test_other_host_threads_run_while_a_search_is_going(self, world):
        # Not a timing test: a host thread keeps making progress and a
        # search in parallel still gives its result.
        progress = []
        stop = threading.Event()

        def busy():
            while not stop.is_set():
                progress.append(core_calc.get_bearing(0, 0, 1, 1))

        t = threading.Thread(target=busy)
        t.start()
        try:
            for _ in range(5):
                assert core_calc.generate_flight_plan("DEPA", "ARRB", 1)[0]["sid"] == "SPOKE1"
        finally:
            stop.set()
            t.join()
        assert progress


# --------------------------------------------------------------------------
# Bad input
# --------------------------------------------------------------------------

ODD = ["", "X" * 10000, "ZZ'); DROP TABLE tbl_sids; --", 'A"B\\n%s{}', "机场ÄÖ", "RW09|A1"]


class TestBadInput:
    @pytest.mark.parametrize("code", ODD)
    def test_odd_departure_code(self, world, world_db, capsys, code):
        assert core_calc.generate_flight_plan(code, "ARRB") is None
        assert lines(capsys) == head(code, "ARRB", "[]", "['RW27']") + [
            "⚠️ [Debug] 推荐跑道均无 SID，尝试查找机场所有 SID (runway=None)...",
            f"❌ [Debug] 失败: {code} 没有任何 SID 数据。"]
        with sqlite3.connect(world_db) as conn:
            assert conn.execute("SELECT count(*) FROM tbl_sids").fetchone()[0] == len(SIDS)

    @pytest.mark.parametrize("code", ODD)
    def test_odd_arrival_code(self, world, capsys, code):
        assert core_calc.generate_flight_plan("DEPA", code) == (None, [])
        assert lines(capsys) == head("DEPA", code, "['RW09', 'RW27']", "[]") + [
            stats(5, 0, 0), SEARCHING, RADIUS, BEARING, NO_ROUTE]

    @pytest.mark.parametrize("name", ODD[1:])
    def test_odd_forced_names(self, world, capsys, name):
        assert core_calc.generate_flight_plan("DEPA", "ARRB", forced_sid=name) is None
        assert lines(capsys)[-1] == f"❌ [Debug] 强制 SID '{name}' 未找到"
        core_calc.generate_flight_plan("DEPA", "ARRB", forced_star=name)
        assert f"⚠️ [Debug] 强制 STAR '{name}' 未找到" in lines(capsys)
        core_calc.generate_flight_plan("DEPA", "ARRB", forced_iap=name)
        assert f"⚠️ [Debug] 强制 IAP '{name}' 未找到" in lines(capsys)

    @pytest.mark.parametrize("name", ODD[1:])
    def test_odd_forced_runways(self, world, capsys, name):
        best, _ = core_calc.generate_flight_plan("DEPA", "ARRB", forced_dep_rwy=name,
                                                 forced_arr_rwy=name)
        assert core_calc.recommendeddep == name and core_calc.recommendedarr == name
        assert lines(capsys)[2] == (f"ℹ️ [Debug] 推荐跑道组: 起飞 {[name]} (风: N/A) | "
                                    f"降落 {[name]} (风: N/A)")
        assert best["sid"] == "SPOKE1"  # all SIDs of the airport

    @pytest.mark.parametrize("value", [None, ""])
    def test_empty_forced_values_count_as_not_given(self, world, value):
        best, alternatives = core_calc.generate_flight_plan(
            "DEPA", "ARRB", 20, value, value, value, value, value)
        assert best["sid"] == "SPOKE1" and alternatives == []

    def test_arguments_by_name_and_count(self, world):
        with pytest.raises(TypeError):
            core_calc.generate_flight_plan("DEPA")
        with pytest.raises(TypeError):
            core_calc.generate_flight_plan("DEPA", "ARRB", 20, None, None, None, None, None, 1)
        best, _ = core_calc.generate_flight_plan(arr_icao="ARRB", dep_icao="DEPA", batch_size=3)
        assert best["sid"] == "SPOKE1"


# --------------------------------------------------------------------------
# End to end on the generated sample database
# --------------------------------------------------------------------------


@pytest.fixture(scope="module")
def sample_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("sample") / "tiny.db"
    summary = gen_navdb.generate(str(path), "tiny")
    return path, summary["demo_pair"]


class TestSample:
    def test_plan_flies_the_network(self, sample_db, capsys):
        path, (dep, arr) = sample_db
        core_calc.DB_PATH = str(path)
        net = core_calc.GLOBAL_NETWORK = core_calc.init_network()
        best, alternatives = core_calc.generate_flight_plan(dep, arr, batch_size=1)
        assert best["departure"] == dep and best["arrival"] == arr
        for plan in [best] + alternatives:
            sid_exit = plan["points"]["sid"][-1]
            start, _ = net.spatial_index.query_nearest(sid_exit[1], sid_exit[2], 5.0)
            if start is None:
                start, _ = net.spatial_index.query_nearest_wide(sid_exit[1], sid_exit[2], 60.0)
            chain = [start] + plan["enroute"]
            for (a, b), rid in zip(zip(chain, chain[1:]), plan["route_ids"]):
                assert net.graph[a][b][1] == rid
            assert plan["distance"] >= legs(*chain)
        assert [p["distance"] for p in [best] + alternatives] == sorted(
            p["distance"] for p in [best] + alternatives)
        assert len({"|".join(p["route_ids"]) for p in [best] + alternatives}) == \
            len(alternatives) + 1
        again = [core_calc.generate_flight_plan(dep, arr, batch_size=1) for _ in range(3)]
        assert all(a == (best, alternatives) for a in again)


# --------------------------------------------------------------------------
# Weather of both airports
# --------------------------------------------------------------------------


class TestWeatherOfBothAirports:
    @pytest.mark.concurrency
    def test_both_weather_queries_are_in_flight_together(self, world, capsys):
        from test_weather import Reply, WeatherServer, report
        both = threading.Barrier(2)

        def meet(code):
            # Answers only once the other airport's query has arrived too.
            try:
                both.wait(timeout=1.5)
            except threading.BrokenBarrierError:
                return Reply(status=503)
            return Reply(body=report(code, 270))

        server = WeatherServer()
        server.reply = meet
        core_calc.WEATHER_API_URL = server.url
        try:
            core_calc.generate_flight_plan("DEPA", "ARRB")
        finally:
            server.close()
        assert sorted(r.query for r in server.requests) == ["icao=ARRB", "icao=DEPA"]
        assert lines(capsys)[2] == (
            "ℹ️ [Debug] 推荐跑道组: 起飞 ['RW27'] (风: 270) | 降落 ['RW27'] (风: 270)")
