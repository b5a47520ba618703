"""process_combination and process_batch on small hand-built airway networks.

The networks lie around latitude 10.5, longitude 20 to 21, inside one grid cell
row, so every join, distance and bearing below can be worked out by hand from
`vectorized_haversine` and `get_bearing`. Legs bend by less than 15 degrees, so
the route search adds no turn penalty and a route costs the sum of its legs.
"""
import math

import pytest

import core_calc
from navdb import NavDb

# --------------------------------------------------------------------------
# Geometry helpers
# --------------------------------------------------------------------------


def hav(a, b):
    return core_calc.vectorized_haversine(a[0], a[1], b[0], b[1])


def exact_solution(f, target, lo, hi):
    """x in [lo, hi] with f(x) == target exactly (f monotone), or None."""
    rising = f(hi) > f(lo)
    while True:
        mid = (lo + hi) / 2
        if mid in (lo, hi):
            break
        if (f(mid) < target) == rising:
            lo = mid
        else:
            hi = mid
    for x in (lo, hi):
        if f(x) == target:
            return x
    return None


def north_at(origin, km, exact=True):
    """A point just east of due north of `origin`, exactly `km` from it by the module's
    own distance: the latitude is bracketed to one step below `km`, then a tiny
    eastward offset, along which the distance grows slowly, lands on it exactly.
    With `exact` false a point within a few metres of `km` will do."""
    lat0, lon0 = origin

    def north(x):
        return core_calc.vectorized_haversine(lat0, lon0, x, lon0)

    lo, hi = lat0 + 0.9 * km / 111.2, lat0 + 1.1 * km / 111.2
    while math.nextafter(lo, hi) != hi:
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if north(mid) < km else (lo, mid)
    lat = lo
    for _ in range(200):
        lon = exact_solution(lambda x: core_calc.vectorized_haversine(lat0, lon0, lat, x), km,
                             lon0, lon0 + 1e-3)
        if lon is not None:
            assert hav(origin, (lat, lon)) == km
            return lat, lon
        lat = math.nextafter(lat, -math.inf)
    if not exact:
        return lo, lon0
    raise AssertionError("no exact point found")


def at_bearing(origin, degrees, km):
    """A point about `km` from `origin` whose initial bearing from it is exactly `degrees`."""
    lat0, lon0 = origin
    rad = math.radians(degrees)
    lat = lat0 + km / 111.2 * math.cos(rad)
    offset = km / 111.2 / math.cos(math.radians(lat0)) * math.sin(rad)
    for _ in range(2000):
        guess = lon0 + offset
        lon = exact_solution(lambda x: core_calc.get_bearing(lat0, lon0, lat, x), degrees,
                             guess - abs(offset) / 2, guess + abs(offset) / 2)
        if lon is not None:
            assert core_calc.get_bearing(lat0, lon0, lat, lon) == degrees
            return lat, lon
        lat = math.nextafter(lat, math.inf)
    raise AssertionError("no exact bearing found")


def node(name, lat, lon):
    return (name, lat, lon)


def pos(key):
    return key[1], key[2]


def legs(*keys):
    """Length of the chain of nodes, leg by leg."""
    return sum(hav(pos(a), pos(b)) for a, b in zip(keys, keys[1:]))


def pt(name, where, seq=10):
    return (name, where[0], where[1], seq)


def proc(name, *points, airport="XDEP"):
    return core_calc.Procedure(airport, name, list(points))


def iap(name, *points, runway="RW09", initial_fix=None):
    points = list(points)
    return core_calc.Approach(name, runway, initial_fix or points[0][0], points)


def load_network(path, *airways):
    """airways: (route, [(name, lat, lon[, seqno[, restriction]]), ...]); publishes it."""
    db = NavDb(path)
    for uid, (route, points) in enumerate(airways, 1):
        db.airway(route, uid, points)
    db.close()
    core_calc.DB_PATH = str(path)
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    return core_calc.GLOBAL_NETWORK


# The corridor: airway A1 W1 - W2 - W3 eastwards, about 33 km a leg.
W1, W2, W3 = node("W1", 10.5, 20.2), node("W2", 10.5, 20.5), node("W3", 10.5, 20.8)
CORRIDOR = ("A1", [W1, W2, W3])
# A second, disconnected airway in the same cell.
Z1, Z2 = node("Z1", 10.9, 20.2), node("Z2", 10.9, 20.5)
ISLAND = ("Z9", [Z1, Z2])

WEST = (10.5, 20.0)  # the SID comes in from the west along the corridor's parallel


@pytest.fixture(scope="module")
def corridor_db(tmp_path_factory):
    path = tmp_path_factory.mktemp("corridor") / "corridor.db"
    db = NavDb(path)
    for uid, (route, points) in enumerate((CORRIDOR, ISLAND), 1):
        db.airway(route, uid, points)
    db.close()
    return path


@pytest.fixture
def corridor(corridor_db):
    core_calc.DB_PATH = str(corridor_db)
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    return core_calc.GLOBAL_NETWORK


def sid_to(exit_point, name="SID1", via=WEST):
    return proc(name, pt("DEP", via, 10), pt("EXIT", exit_point, 20))


STAR_TAIL = (10.7, 20.9)


def star_from(first, name="STAR1", first_name="ENTRY"):
    return proc(name, pt(first_name, first, 10), pt("T2", STAR_TAIL, 20), airport="XARR")


PLAN_KEYS = ["departure", "sid", "star", "approach", "approach_runway", "arrival", "enroute",
             "route_ids", "distance", "dep_connectors", "arr_connectors", "points"]


def combine(sid, star, iaps=(), **options):
    return core_calc.process_combination(sid, star, list(iaps), "XDEP", "XARR", **options)


# --------------------------------------------------------------------------
# process_combination
# --------------------------------------------------------------------------


class TestPlanRecord:
    def test_keys_values_and_shared_point_lists(self, corridor):
        sid = sid_to(pos(W1))
        star = star_from(pos(W3))
        approach = iap("I09", pt("T2", STAR_TAIL), pt("FAF", (10.7, 21.0), 20), runway="RW09")
        plan = combine(sid, star, [approach])
        assert list(plan) == PLAN_KEYS
        assert list(plan["points"]) == ["sid", "star", "iap"]
        assert plan["departure"] == "XDEP" and plan["arrival"] == "XARR"
        assert (plan["sid"], plan["star"], plan["approach"], plan["approach_runway"]) == (
            "SID1", "STAR1", "I09", "RW09")
        assert plan["enroute"] == [W2, W3]
        assert plan["route_ids"] == ["A1", "A1"]
        # Route legs plus the approach; the STAR is joined exactly on W3, gap 0.
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3) + hav(STAR_TAIL, (10.7, 21.0)),
                                                 rel=1e-12)
        assert plan["dep_connectors"] == [] and plan["arr_connectors"] == []
        assert plan["points"]["sid"] is sid.points
        assert plan["points"]["star"] is star.points
        assert plan["points"]["iap"] is approach.points

    def test_departure_and_arrival_values_are_copied_unchanged(self, corridor):
        dep, arr = object(), ("any", 1)
        plan = core_calc.process_combination(sid_to(pos(W1)), star_from(pos(W3)), [], dep, arr)
        assert plan["departure"] is dep and plan["arrival"] is arr

    def test_star_without_approaches(self, corridor):
        star = star_from(pos(W3))
        plan = combine(sid_to(pos(W1)), star)
        assert (plan["approach"], plan["approach_runway"]) == ("N/A", "N/A")
        assert plan["points"]["iap"] == []
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3), rel=1e-12)

    @pytest.mark.parametrize("runway, shown", [("RW27", "RW27"), ("", "N/A"), (None, "N/A")])
    def test_approach_runway(self, corridor, runway, shown):
        approach = iap("I27", pt("T2", STAR_TAIL), runway=runway)
        plan = combine(sid_to(pos(W1)), star_from(pos(W3)), [approach])
        assert plan["approach"] == "I27" and plan["approach_runway"] == shown

    def test_network_not_loaded_is_an_error(self):
        core_calc.GLOBAL_NETWORK = None
        with pytest.raises(RuntimeError, match="GLOBAL_NETWORK"):
            combine(sid_to(pos(W1)), star_from(pos(W3)))


class TestDepartureJoin:
    def test_narrow_join_fails_at_10_km_and_the_60_km_retry_joins(self, corridor):
        exit_point = north_at(pos(W1), 10.0)
        sid = sid_to(exit_point)
        assert combine(sid, star_from(pos(W3))) is None
        plan = combine(sid, star_from(pos(W3)), join_radius=60.0)
        # The leg from the SID's last point to W1 is neither counted nor a connector.
        assert plan["enroute"] == [W2, W3]
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3), rel=1e-12)
        assert plan["dep_connectors"] == []

    def test_default_radius_is_read_at_call_time(self, corridor):
        sid = sid_to(north_at(pos(W1), 10.0))
        core_calc.SID_JOIN_RADIUS = 12.0
        assert combine(sid, star_from(pos(W3)))["enroute"] == [W2, W3]

    def test_join_at_exactly_the_radius(self, corridor):
        sid = sid_to(north_at(pos(W1), 5.0))
        assert combine(sid, star_from(pos(W3)))["enroute"] == [W2, W3]

    def test_given_radius_looks_beyond_the_own_cell(self, tmp_path):
        # E1 lies in the cell north of the SID's last point, 2 km away.
        e1, e2, e3 = node("E1", 11.0, 20.2), node("E2", 11.0, 20.5), node("E3", 11.0, 20.8)
        load_network(tmp_path / "n.db", ("B1", [e1, e2, e3]))
        exit_point = (11.0 - 2.0 / 111.19, 20.2)
        sid = proc("S", pt("DEP", (exit_point[0], 20.0)), pt("EXIT", exit_point, 20))
        star = proc("T", pt("ENTRY", pos(e3)), pt("T2", (11.2, 20.9), 20))
        assert combine(sid, star) is None  # own cell only
        assert combine(sid, star, join_radius=5.0)["enroute"] == [e2, e3]

    def test_departure_join_beyond_every_node(self, corridor):
        assert combine(sid_to((10.5, 25.5)), star_from(pos(W3)), join_radius=60.0) is None


class TestDirectionPruning:
    ORIGIN = (10.3, 20.3)

    @pytest.fixture
    def fan(self, tmp_path):
        """The SID flies due north from ORIGIN to E; T110/T120 lie at exactly 110 and
        120 degrees from ORIGIN, each on its own airway from E."""
        exit_point = (10.4, 20.3)
        assert core_calc.get_bearing(*self.ORIGIN, *exit_point) == 0.0
        targets = {deg: at_bearing(self.ORIGIN, deg, 40.0) for deg in (110, 120)}
        e = node("E", *exit_point)
        ends = {deg: node(f"T{deg}", round(t[0], 4), round(t[1], 4)) for deg, t in targets.items()}
        load_network(tmp_path / "fan.db", ("B110", [e, ends[110]]), ("B120", [e, ends[120]]))
        sid = proc("NORTH1", pt("DEP", self.ORIGIN), pt("E", exit_point, 20))
        return sid, targets, ends

    def star_at(self, target):
        return proc("T", pt("ENTRY", target), pt("END", (target[0] - 0.1, target[1]), 20))

    @pytest.mark.parametrize("degrees, options, routed", [
        (110, {}, True),
        (120, {}, False),
        (120, {"bearing_limit": 180}, True),
        (120, {"bearing_limit": 120}, True),
        (110, {"bearing_limit": 100}, False),
        (120, {"skip_bearing_check": True}, True),
        (120, {"skip_bearing_check": True, "bearing_limit": 10}, True),
    ])
    def test_limits(self, fan, degrees, options, routed):
        sid, targets, ends = fan
        plan = combine(sid, self.star_at(targets[degrees]), **options)
        assert (plan is not None) == routed
        if routed:
            assert plan["enroute"] == [ends[degrees]]

    def test_default_limit_is_read_at_call_time(self, fan):
        sid, targets, _ = fan
        core_calc.SID_BEARING_LIMIT = 125
        assert combine(sid, self.star_at(targets[120])) is not None

    def test_without_star_the_first_approach_gives_the_direction(self, fan):
        sid, targets, ends = fan
        a110 = iap("A110", pt("F110", targets[110]))
        a120 = iap("A120", pt("F120", targets[120]))
        assert combine(sid, None, [a120, a110]) is None
        plan = combine(sid, None, [a110, a120])
        assert plan["approach"] in ("A110", "A120")

    def test_bearings_350_and_10_differ_by_20(self, tmp_path):
        origin = (10.3, 20.5)
        exit_point = at_bearing(origin, 350, 20.0)
        target = at_bearing(origin, 10, 40.0)
        e = node("E", round(exit_point[0], 4), round(exit_point[1], 4))
        t = node("T", round(target[0], 4), round(target[1], 4))
        load_network(tmp_path / "n.db", ("B1", [e, t]))
        sid = proc("S", pt("DEP", origin), pt("E", exit_point, 20))
        star = proc("T1", pt("ENTRY", target), pt("END", (target[0] + 0.1, target[1]), 20))
        assert combine(sid, star, bearing_limit=21) is not None
        assert combine(sid, star, bearing_limit=19) is None

    def test_no_target_no_pruning_and_no_plan(self, fan):
        sid, _, _ = fan
        assert combine(sid, None, []) is None


class TestStarBranch:
    def test_star_connector_at_exactly_1_km_and_at_1_5_km(self, corridor):
        at_1 = north_at(pos(W3), 1.0)
        plan = combine(sid_to(pos(W1)), star_from(at_1))
        assert plan["arr_connectors"] == []
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3) + 1.0, rel=1e-12)
        at_15 = north_at(pos(W3), 1.5)
        plan = combine(sid_to(pos(W1)), star_from(at_15, first_name="ENT15"))
        assert plan["arr_connectors"] == [("DCT", "ENT15", 1.5)]
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3) + 1.5, rel=1e-12)

    def test_star_entry_beyond_50_km_of_every_node(self, corridor):
        assert combine(sid_to(pos(W1)), star_from((10.5, 21.6))) is None

    def test_no_route_between_the_join_nodes(self, corridor):
        # Z1 lies on an airway that does not meet the corridor.
        assert combine(sid_to(pos(W1)), star_from(pos(Z2))) is None

    def test_join_nodes_that_coincide(self, corridor):
        assert combine(sid_to(pos(W2)), star_from(pos(W2))) is None

    def test_direct_arrival_candidate_as_star(self, corridor):
        candidates = core_calc.build_direct_star("XARR", 10.52, 20.8)
        candidate = next(c for c in candidates if c.points[0][0] == "W3")
        plan = combine(sid_to(pos(W1)), candidate)
        assert plan["star"] == "DIRECT" and plan["approach"] == "N/A"
        assert plan["arr_connectors"] == []
        assert plan["enroute"] == [W2, W3]
        assert plan["points"]["star"] is candidate.points

    def test_penalized_edges_are_passed_to_the_search(self, tmp_path):
        v2 = node("V2", 10.52, 20.5)
        load_network(tmp_path / "n.db", CORRIDOR, ("B1", [W1, v2, W3]))
        sid, star = sid_to(pos(W1)), star_from(pos(W3))
        assert combine(sid, star)["enroute"] == [W2, W3]
        plan = combine(sid, star, penalized_edges={(W2, W3): 500.0})
        assert plan["enroute"] == [v2, W3] and plan["route_ids"] == ["B1", "B1"]
        assert plan["distance"] == pytest.approx(legs(W1, v2, W3), rel=1e-12)
        # The penalty is counted in the distance when the route keeps the edge.
        plan = combine(sid, star, penalized_edges={(W2, W3): 1.0})
        assert plan["enroute"] == [W2, W3]
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3) + 1.0, rel=1e-12)

    @pytest.mark.parametrize("edges, error", [
        ([(W2, W3)], TypeError), ({(W2, W3): "x"}, TypeError), ({(W2, W3): -1.0}, ValueError),
        ({W2: -1.0}, ValueError)])
    def test_bad_penalized_edges(self, corridor, edges, error):
        with pytest.raises(error, match="penalized_edges"):
            combine(sid_to(pos(W1)), star_from(pos(W3)), penalized_edges=edges)

    def test_penalty_keys_that_are_no_pairs_are_ignored(self, corridor):
        # The same rule as a_star: a key that is not a (from, to) pair matches no edge.
        plain = combine(sid_to(pos(W1)), star_from(pos(W3)))
        odd = combine(sid_to(pos(W1)), star_from(pos(W3)), penalized_edges={W2: 1.0, "x": 2.0})
        assert odd == plain


class TestApproachChoice:
    """STAR ending at T2 = STAR_TAIL; approaches placed by their gap from it."""

    @pytest.fixture
    def base(self, corridor):
        return legs(W1, W2, W3)

    def choose(self, *approaches):
        return combine(sid_to(pos(W1)), star_from(pos(W3)), approaches)

    def far(self, km, name="FAR", exact=True):
        """An approach of one point `km` north of STAR_TAIL (length 0)."""
        return iap(name, pt(name + "F", north_at(STAR_TAIL, km, exact)))

    def long(self, name, gap_km, length_km):
        first = north_at(STAR_TAIL, gap_km)
        return iap(name, pt(name + "F", first),
                   pt(name + "M", north_at(first, length_km, exact=False), 20))

    def test_gap_of_exactly_1_km_earns_no_seamless_bonus(self, base):
        plan = self.choose(self.far(1.0), self.long("NEAR", 0.9, 100.0))
        assert plan["approach"] == "NEAR"
        assert plan["distance"] == pytest.approx(base + 0.9 + 100.0, rel=1e-12)

    def test_below_1_km_the_smallest_length_plus_gap_wins(self, base):
        plan = self.choose(self.long("A", 0.5, 20.0), self.long("B", 0.0, 20.3))
        assert plan["approach"] == "B"
        plan = self.choose(self.long("A", 0.5, 20.0), self.long("B", 0.0, 20.6))
        assert plan["approach"] == "A"
        assert plan["distance"] == pytest.approx(base + 20.5, rel=1e-12)

    def test_initial_fix_named_like_the_star_end_has_no_gap(self, base):
        # Its first point lies 80 km away, but it starts at the STAR's last fix by name.
        by_name = iap("BYNAME", pt("X", north_at(STAR_TAIL, 80.0)), initial_fix="T2")
        near = self.long("NEAR", 0.5, 0.0)
        plan = self.choose(near, by_name)
        assert plan["approach"] == "BYNAME"
        assert plan["distance"] == pytest.approx(base, rel=1e-12)

    @pytest.mark.parametrize("gap, chosen", [(49.9, "FAR"), (50.0, "N/A")])
    def test_largest_gap(self, base, gap, chosen):
        approach = self.far(gap)
        plan = self.choose(approach)
        assert plan["approach"] == chosen
        if chosen == "FAR":
            assert plan["distance"] == pytest.approx(base + gap, rel=1e-12)
            assert plan["points"]["iap"] is approach.points
        else:
            assert plan["distance"] == pytest.approx(base, rel=1e-12)
            assert plan["points"]["iap"] == []

    @pytest.mark.parametrize("first", [0, 1])
    def test_equal_scores_keep_the_first_listed(self, base, first):
        twins = [self.long("ONE", 0.5, 10.0), self.long("TWO", 0.5, 10.0)]
        if first:
            twins.reverse()
        assert self.choose(*twins)["approach"] == twins[0].name

    @pytest.mark.parametrize("length, chosen", [(4000.0, "LONG"), (6000.0, "N/A")])
    def test_no_approach_only_when_5000_better(self, base, length, chosen):
        plan = self.choose(self.long("LONG", 10.0, length))
        assert plan["approach"] == chosen
        expected = base + (10.0 + length if chosen == "LONG" else 0.0)
        assert plan["distance"] == pytest.approx(expected, rel=1e-9)

    def test_one_search_whatever_the_approaches(self, base):
        # Many approaches: each scored against the same route.
        approaches = [self.far(1.0 + i, name=f"F{i}", exact=False) for i in range(30)]
        plan = self.choose(*approaches)
        assert plan["approach"] == "F0" and plan["enroute"] == [W2, W3]


class TestApproachOnly:
    """No STAR: every approach is joined (200 km) and routed on its own."""

    def only(self, *approaches):
        return combine(sid_to(pos(W1)), None, approaches)

    def approach(self, name, join_km, length_km, onto=W3):
        first = north_at(pos(onto), join_km) if join_km else pos(onto)
        points = [pt(name + "F", first)]
        if length_km:
            points.append(pt(name + "M", north_at(first, length_km, exact=False), 20))
        return iap(name, *points)

    @pytest.mark.parametrize("length, chosen", [(1999.0, "CLOSE"), (2001.0, "ON")])
    def test_join_below_1_km_scores_2000_less(self, corridor, length, chosen):
        # CLOSE: 0.5 km from W3; ON: exactly on W3, which earns no bonus.
        plan = self.only(self.approach("CLOSE", 0.5, length), self.approach("ON", 0, 0))
        assert plan["approach"] == chosen
        assert plan["star"] == "DIRECT"
        assert plan["arr_connectors"] == []
        join = 0.5 + length if chosen == "CLOSE" else 0.0
        assert plan["distance"] == pytest.approx(legs(W1, W2, W3) + join, rel=1e-9)

    @pytest.mark.parametrize("length, chosen", [(504.0, "FAR3"), (502.0, "ON")])
    def test_join_beyond_2_km_scores_500_more(self, corridor, length, chosen):
        plan = self.only(self.approach("FAR3", 3.0, 0), self.approach("ON", 0, length))
        assert plan["approach"] == chosen
        if chosen == "FAR3":
            assert plan["arr_connectors"] == [("DCT", "FAR3F", 3.0)]
            assert plan["distance"] == pytest.approx(legs(W1, W2, W3) + 3.0, rel=1e-12)

    @pytest.mark.parametrize("join_km, connector", [(1.0, False), (1.5, True), (2.0, True)])
    def test_connector_and_no_penalty_up_to_2_km(self, corridor, join_km, connector):
        # Against an approach on W3 that is 1.9 km longer: no penalty means it wins.
        plan = self.only(self.approach("J", join_km, 0), self.approach("ON", 0, 2.1))
        assert plan["approach"] == "J"
        assert plan["arr_connectors"] == ([("DCT", "JF", join_km)] if connector else [])

    def test_each_approach_routed_to_its_own_join_node(self, corridor):
        to_w2 = self.approach("TOW2", 0, 0, onto=W2)
        to_w3 = self.approach("TOW3", 0, 0, onto=W3)
        plan = self.only(to_w3, to_w2)
        assert plan["approach"] == "TOW2" and plan["enroute"] == [W2]
        assert plan["points"] == {"sid": plan["points"]["sid"], "star": [], "iap": to_w2.points}
        assert plan["points"]["iap"] is to_w2.points

    def test_unjoinable_and_unroutable_approaches_are_skipped(self, corridor):
        nowhere = iap("NOWHERE", pt("NW", (10.5, 24.0)))
        island = self.approach("ISLAND", 0, 0, onto=Z2)
        at_start = self.approach("START", 0, 0, onto=W1)
        assert self.only(nowhere, island, at_start) is None
        plan = self.only(nowhere, island, at_start, self.approach("OK", 0, 0))
        assert plan["approach"] == "OK"


class TestBadRecords:
    def test_point_with_nan_coordinates_is_a_clear_error(self, corridor):
        sid = proc("S", pt("DEP", (math.nan, 20.0)), pt("EXIT", pos(W1), 20))
        with pytest.raises(ValueError):
            combine(sid, star_from(pos(W3)))
        star = proc("T", pt("ENTRY", pos(W3)), pt("END", (math.inf, 20.9), 20))
        with pytest.raises(ValueError):
            combine(sid_to(pos(W1)), star)

    @pytest.mark.parametrize("record", [
        proc("EMPTY"), "not a record", core_calc.Procedure("X", "S", [("P", "north", 1.0, 10)])])
    def test_unusable_sid(self, corridor, record):
        with pytest.raises((TypeError, ValueError, AttributeError)):
            combine(record, star_from(pos(W3)))


# --------------------------------------------------------------------------
# process_batch
# --------------------------------------------------------------------------


def batch_args(pairs, iaps=(), join_radius=None, bearing_limit=None):
    return (list(pairs), list(iaps), "XDEP", "XARR", join_radius, bearing_limit)


class TestProcessBatch:
    def test_empty_batch(self, corridor):
        assert core_calc.process_batch(batch_args([])) is None
        core_calc.GLOBAL_NETWORK = None  # nothing to route: the network is not needed
        assert core_calc.process_batch(batch_args([])) is None
        with pytest.raises(RuntimeError, match="GLOBAL_NETWORK"):
            core_calc.process_batch(batch_args([(sid_to(pos(W1)), star_from(pos(W3)))]))

    def test_all_fail(self, corridor):
        pairs = [(sid_to((10.5, 25.5)), star_from(pos(W3))), (sid_to(pos(W2)), star_from(pos(W2)))]
        assert core_calc.process_batch(batch_args(pairs)) is None

    def test_smaller_distance_wins_whatever_the_order(self, corridor):
        longer = (sid_to(pos(W1), name="LONG"), star_from(pos(W3)))
        shorter = (sid_to(pos(W2), name="SHORT"), star_from(pos(W3)))
        assert core_calc.process_batch(batch_args([longer, shorter]))["sid"] == "SHORT"
        assert core_calc.process_batch(batch_args([shorter, longer]))["sid"] == "SHORT"

    def test_equal_distances_keep_the_first(self, corridor):
        one = (sid_to(pos(W1), name="ONE"), star_from(pos(W3)))
        two = (sid_to(pos(W1), name="TWO"), star_from(pos(W3)))
        assert core_calc.process_batch(batch_args([one, two]))["sid"] == "ONE"
        assert core_calc.process_batch(batch_args([two, one]))["sid"] == "TWO"

    def test_plan_without_approach_beats_a_longer_one_with_approach(self, corridor):
        # STAR "FIT" ends where the approach starts; STAR "BARE" ends 60 km away from
        # it and is shorter to reach: plain distance decides between combinations.
        fit = proc("FIT", pt("ENTRY", pos(W3)), pt("T2", STAR_TAIL, 20))
        bare = proc("BARE", pt("ENTRY", pos(W2)), pt("B2", (10.2, 20.5), 20))
        approach = iap("I09", pt("T2", STAR_TAIL), pt("FAF", (10.7, 21.0), 20))
        sid = sid_to(pos(W1))
        best = core_calc.process_batch(batch_args([(sid, fit), (sid, bare)], [approach]))
        assert (best["star"], best["approach"]) == ("BARE", "N/A")
        assert best["distance"] == pytest.approx(legs(W1, W2), rel=1e-12)
        assert best["points"]["star"] is bare.points

    def test_plan_record_of_the_winner(self, corridor):
        sid, star = sid_to(pos(W1)), star_from(pos(W3))
        best = core_calc.process_batch(batch_args([(sid, star)]))
        assert best == combine(sid, star)
        assert best["points"]["sid"] is sid.points

    def test_star_may_be_none(self, corridor):
        approach = iap("I09", pt("IF", pos(W3)))
        best = core_calc.process_batch(batch_args([(sid_to(pos(W1)), None)], [approach]))
        assert (best["star"], best["approach"]) == ("DIRECT", "I09")

    def test_join_radius_and_bearing_limit_are_passed_through(self, corridor):
        far_exit = sid_to(north_at(pos(W1), 10.0))
        pairs = [(far_exit, star_from(pos(W3)))]
        assert core_calc.process_batch(batch_args(pairs)) is None
        assert core_calc.process_batch(batch_args(pairs, join_radius=60.0))["enroute"] == [W2, W3]
        # A SID leaving due south of a target lying east: 90 degrees off.
        south = proc("SOUTH", pt("DEP", (10.6, 20.2)), pt("EXIT", pos(W1), 20))
        pairs = [(south, star_from(pos(W3)))]
        assert core_calc.process_batch(batch_args(pairs, bearing_limit=80)) is None
        assert core_calc.process_batch(batch_args(pairs, bearing_limit=100)) is not None

    @pytest.mark.parametrize("args", [(), ([], [], "A", "B", None), [[]] * 7])
    def test_wrong_argument_shape(self, corridor, args):
        with pytest.raises((ValueError, TypeError)):
            core_calc.process_batch(args)


class TestUnreachableArrivals:
    """A loaded network skips searches towards parts of the graph that cannot be reached;
    the plans must be those of searching, as on the same graph built by hand."""

    @pytest.fixture
    def loaded(self, tmp_path):
        db = NavDb(tmp_path / "oneway.db")
        ring = [(f"R{i}", 10.0 + 0.5 * math.sin(i), 20.0 + 0.5 * math.cos(i)) for i in range(6)]
        db.airway("RING", 1, ring + [ring[0]])
        # A one-way piece leaves the ring towards an island that has no way back.
        db.airway("OUT", 2, [ring[2], ("X1", 11.0, 21.0, 20, "F"), ("X2", 11.3, 21.3, 30, "F")])
        db.airway("ISL", 3, [("X2", 11.3, 21.3), ("X3", 11.5, 21.2)])
        db.close()
        core_calc.DB_PATH = str(tmp_path / "oneway.db")
        core_calc.GLOBAL_NETWORK = core_calc.init_network()
        return core_calc.GLOBAL_NETWORK

    @staticmethod
    def by_hand(net):
        copy = core_calc.RouteNetwork()
        for u in net.graph:
            for v, (d, rid) in net.graph[u].items():
                copy.add_edge(u, v, d, rid, False)
        for key, position in net.coord_map.items():
            copy.coord_map[key] = position
        for cell in net.spatial_index.grid.values():
            for key, lat, lon in cell:
                copy.spatial_index.add_point(key, lat, lon)
        return copy

    def test_plans_equal_those_of_a_hand_built_copy(self, loaded):
        ring4 = next(k for k in loaded.coord_map if k[0] == "R4")
        x3 = next(k for k in loaded.coord_map if k[0] == "X3")
        r0 = next(k for k in loaded.coord_map if k[0] == "R0")
        cases = [(r0, x3), (x3, r0), (r0, ring4)]
        results = []
        for network in (loaded, self.by_hand(loaded)):
            core_calc.GLOBAL_NETWORK = network
            row = []
            for a, b in cases:
                sid = proc("S", pt("A", (a[1] - 0.001, a[2])), pt(a[0], (a[1], a[2]), 20))
                star = proc("T", pt(b[0], (b[1], b[2])), pt("Z", (b[1] + 0.01, b[2]), 20))
                plan = core_calc.process_combination(sid, star, [], "D", "A", skip_bearing_check=True)
                row.append(None if plan is None else (plan["enroute"], plan["route_ids"], plan["distance"]))
            results.append(row)
        assert results[0] == results[1]
        assert results[0][0] is not None and results[0][1] is None and results[0][2] is not None
