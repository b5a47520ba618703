"""a_star and connect_to_network, through the module as a host calls them."""
import heapq
import math
import os
import random
import sys
import threading
import types

import pytest

import core_calc

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import gen_navdb  # noqa: E402

INF = float("inf")


def build(edges, coords):
    """edges: (wp1, wp2, distance, route_id[, bidirectional]); coords: key -> (lat, lon)."""
    net = core_calc.RouteNetwork()
    for edge in edges:
        net.add_edge(*edge)
    for key, position in coords.items():
        net.coord_map[key] = position
    core_calc.GLOBAL_NETWORK = net
    return net


def node(name, lat, lon):
    return (name, lat, lon)


def at(key):
    return {key: (key[1], key[2])}


def reference_a_star(graph, coords, start, end, target_lat=None, target_lon=None,
                     initial_prev_coord=None, penalized_edges=None):
    """The search written out step by step in plain Python, as the oracle."""
    return reference_with_count(graph, coords, start, end, target_lat, target_lon,
                                initial_prev_coord, penalized_edges)[0]


def reference_with_count(graph, coords, start, end, target_lat=None, target_lon=None,
                         initial_prev_coord=None, penalized_edges=None):
    """The oracle's result and the number of heap entries it expanded."""
    if start not in coords or end not in coords:
        return ([], [], INF), 0
    if target_lat is None or target_lon is None:
        target_lat, target_lon = coords[end]

    def estimate(wp):
        lat, lon = coords.get(wp, (0, 0))
        return 1.1 * core_calc.vectorized_haversine(lat, lon, target_lat, target_lon)

    heap = [(estimate(start), start)]
    g = {start: 0.0}
    came_from = {}
    expanded = 0
    while heap:
        f, current = heapq.heappop(heap)
        if current == end:
            path, routes, temp = [end], [], end
            while temp in came_from:
                prev, rid = came_from[temp]
                routes.insert(0, rid)
                path.insert(0, prev)
                temp = prev
            return (path[1:], routes, g[end]), expanded
        if f > g[current] + estimate(current) + 500:
            continue
        expanded += 1
        if current in came_from:
            prev_rid, prev_point = came_from[current][1], coords[came_from[current][0]]
        else:
            prev_rid = None
            prev_point = initial_prev_coord if current == start else None
        for neighbor, (dist, rid) in graph.get(current, {}).items():
            turn = 0
            if prev_point is not None:
                angle = core_calc.get_turn_angle(prev_point[0], prev_point[1],
                                                 coords[current][0], coords[current][1],
                                                 coords[neighbor][0], coords[neighbor][1])
                turn = 1000 if angle > 90 else 200 if angle > 45 else 2 * angle if angle > 15 else 0
            switch = 15 if prev_rid is not None and prev_rid != "DCT" and rid != prev_rid else 0
            extra = penalized_edges.get((current, neighbor), 0) if penalized_edges else 0
            tentative = g[current] + dist + turn + switch + extra
            if tentative < g.get(neighbor, INF):
                came_from[neighbor] = (current, rid)
                g[neighbor] = tentative
                heapq.heappush(heap, (tentative + estimate(neighbor), neighbor))
    return ([], [], INF), expanded


def snapshot(net):
    graph = {key: dict(net.graph[key].items()) for key in net.graph}
    coords = {key: net.coord_map[key] for key in net.coord_map}
    return graph, coords


def outcome(call, *args, **kwargs):
    try:
        return call(*args, **kwargs)
    except KeyError as error:
        return ("KeyError", error.args)


# Bends at M of a route P -> M -> N flown eastwards along the equator into M.
P, M = node("P", 0.0, -1.0), node("M", 0.0, 0.0)
BEND_ENDS = {
    10: node("N", 0.1763, 1.0),
    15: node("N", 0.2679336358977258, 1.0),  # exactly 15.0 degrees
    30: node("N", 0.5774, 1.0),
    45: node("N", 0.9998477260772498, 1.0),  # exactly 45.0 degrees
    60: node("N", 1.7321, 1.0),
    90: node("N", 1.0, 0.0),  # exactly 90.0 degrees
    120: node("N", 1.7321, -1.0),
}


class TestCosts:
    def test_single_segment(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 0.9)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        assert core_calc.a_star(a, b) == ([b], ["W1"], 100.0)

    @pytest.mark.parametrize("degrees, penalty_of", [
        (10, lambda angle: 0), (15, lambda angle: 0), (30, lambda angle: 2 * angle),
        (45, lambda angle: 90.0), (60, lambda angle: 200), (90, lambda angle: 200),
        (120, lambda angle: 1000)])
    def test_bend(self, degrees, penalty_of):
        n = BEND_ENDS[degrees]
        angle = core_calc.get_turn_angle(P[1], P[2], M[1], M[2], n[1], n[2])
        assert abs(angle - degrees) < 0.01
        if degrees in (15, 45, 90):
            assert angle == degrees  # the thresholds themselves
        build([(P, M, 100.0, "W1"), (M, n, 50.0, "W1")], {**at(P), **at(M), **at(n)})
        assert core_calc.a_star(P, n) == ([M, n], ["W1", "W1"], 100.0 + 50.0 + penalty_of(angle))

    @pytest.mark.parametrize("first, second, extra", [
        ("W1", "W1", 0), ("W1", "W2", 15), ("W1", "DCT", 15), ("DCT", "W2", 0),
        ("DCT", "DCT", 0), (None, "W2", 0), ("W1", None, 15)])
    def test_airway_change(self, first, second, extra):
        a, b, c = node("A", 0.0, 0.0), node("B", 0.0, 1.0), node("C", 0.0, 2.0)
        build([(a, b, 100.0, first), (b, c, 100.0, second)], {**at(a), **at(b), **at(c)})
        assert core_calc.a_star(a, c) == ([b, c], [first, second], 200.0 + extra)

    def test_dct_in_and_out_along_a_chain(self):
        pts = [node(f"P{i}", 0.0, float(i)) for i in range(5)]
        routes = ["W1", "DCT", "W2", "W2"]
        build([(pts[i], pts[i + 1], 100.0, routes[i]) for i in range(4)],
              {k: v for p in pts for k, v in at(p).items()})
        # W1 -> DCT costs 15; DCT -> W2 and W2 -> W2 cost nothing.
        assert core_calc.a_star(pts[0], pts[4]) == (pts[1:], routes, 415.0)

    @pytest.mark.parametrize("prev, extra", [((0.0, -1.0), 0), ((1.0, 0.0), 200), ((0.0, 1.0), 1000)])
    def test_initial_prev_coord_prices_the_first_turn(self, prev, extra):
        a, b, c = node("A", 0.0, 0.0), node("B", 0.0, 1.0), node("C", 0.0, 2.0)
        build([(a, b, 100.0, "W1"), (b, c, 100.0, "W2")], {**at(a), **at(b), **at(c)})
        # The first edge never carries an airway-change penalty; the change at B does.
        assert core_calc.a_star(a, c, initial_prev_coord=prev)[2] == 215.0 + extra
        assert core_calc.a_star(a, c, initial_prev_coord=list(prev))[2] == 215.0 + extra
        assert core_calc.a_star(a, c)[2] == 215.0

    def test_penalized_edge_is_directed(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        penalties = {(a, b): 500}
        assert core_calc.a_star(a, b, penalized_edges=penalties)[2] == 600.0
        assert core_calc.a_star(b, a, penalized_edges=penalties)[2] == 100.0
        assert core_calc.a_star(a, b, penalized_edges={})[2] == 100.0
        assert core_calc.a_star(a, b, None, None, None, None)[2] == 100.0

    def test_penalty_steers_to_an_alternative(self):
        s, n, so, e = (node("S", 0.0, 0.0), node("N", 0.05, 1.0), node("SO", -0.05, 1.0),
                       node("E", 0.0, 2.0))
        build([(s, n, 100.0, "W1"), (n, e, 100.0, "W1"), (s, so, 101.0, "W1"),
               (so, e, 101.0, "W1")], {**at(s), **at(n), **at(so), **at(e)})
        assert core_calc.a_star(s, e)[0] == [n, e]
        assert core_calc.a_star(s, e, penalized_edges={(n, e): 50.0}) == ([so, e], ["W1", "W1"], 202.0)

    def test_turn_penalty_makes_the_route_longer_than_the_shortest(self):
        s, a, b, e = node("S", 0.0, 0.0), node("A", 1.0, 1.0), node("B", 0.0, 1.0), node("E", 0.0, 2.0)
        build([(s, a, 50.0, "W1"), (a, e, 50.0, "W1"), (s, b, 100.0, "W1"), (b, e, 100.0, "W1")],
              {**at(s), **at(a), **at(b), **at(e)})
        assert core_calc.a_star(s, e) == ([b, e], ["W1", "W1"], 200.0)

    @pytest.mark.parametrize("north, south, winner", [
        (node("B", 0.05, 1.0), node("A", -0.05, 1.0), "south"),
        (node("A", 0.05, 1.0), node("B", -0.05, 1.0), "north"),
        (node("a", 0.05, 1.0), node("Z", -0.05, 1.0), "south"),    # code point order
        (node("É", 0.05, 1.0), node("z", -0.05, 1.0), "south"),    # U+00C9 after "z"
        (node("X", 0.05, 1.0), node("X", -0.05, 1.0), "south"),    # then latitude
    ])
    def test_equal_f_ties_go_to_the_smaller_key(self, north, south, winner):
        s, e = node("S", 0.0, 0.0), node("E", 0.0, 2.0)
        build([(s, north, 100.0, "W1"), (s, south, 100.0, "W1"), (north, e, 100.0, "W1"),
               (south, e, 100.0, "W1")], {**at(s), **at(north), **at(south), **at(e)})
        via = north if winner == "north" else south
        assert core_calc.a_star(s, e) == ([via, e], ["W1", "W1"], 200.0)

    def test_equal_f_ties_by_longitude(self):
        s, e = node("S", 0.0, 0.0), node("E", 2.0, 0.0)
        east, west = node("X", 1.0, 0.05), node("X", 1.0, -0.05)
        build([(s, east, 100.0, "W1"), (s, west, 100.0, "W1"), (east, e, 100.0, "W1"),
               (west, e, 100.0, "W1")], {**at(s), **at(east), **at(west), **at(e)})
        assert core_calc.a_star(s, e)[0] == [west, e]

    def test_target_point_steers_only_the_estimate(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        assert core_calc.a_star(a, b, 40.0, 40.0) == ([b], ["W1"], 100.0)
        assert core_calc.a_star(a, b, target_lat=40.0) == ([b], ["W1"], 100.0)


class TestNoRoute:
    def test_start_equals_end(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        assert core_calc.a_star(a, a) == ([], [], 0.0)

    def test_one_way_edge_and_isolated_node(self):
        a, b, lone = node("A", 0.0, 0.0), node("B", 0.0, 1.0), node("L", 5.0, 5.0)
        net = build([(a, b, 100.0, "W1", False)], {**at(a), **at(b), **at(lone)})
        assert core_calc.a_star(b, a) == ([], [], INF)
        assert core_calc.a_star(lone, a) == ([], [], INF)
        assert core_calc.a_star(a, lone) == ([], [], INF)
        # Looking a node up never adds it to the graph.
        assert lone not in net.graph and len(net.graph) == 1

    @pytest.mark.parametrize("key", [
        node("X", 0.0, 0.0), ("A", 0.0), ("A", 0.0, 0.0, 1), ["A", 0.0, 0.0], "A", None, 42,
        ("A", "0", 0.0), (1, 0.0, 0.0)])
    def test_absent_or_malformed_keys(self, key):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        assert core_calc.a_star(key, b) == ([], [], INF)
        assert core_calc.a_star(a, key) == ([], [], INF)

    def test_integer_coordinates_name_the_same_node(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        assert core_calc.a_star(("A", 0, 0), ("B", 0, 1)) == ([b], ["W1"], 100.0)

    def test_node_without_coordinates(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], at(a))
        assert core_calc.a_star(a, b) == ([], [], INF)
        assert core_calc.a_star(b, a) == ([], [], INF)


class TestBadInput:
    @pytest.fixture
    def pair(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {**at(a), **at(b)})
        return a, b

    def test_network_not_loaded(self, pair):
        core_calc.GLOBAL_NETWORK = None
        with pytest.raises(RuntimeError, match="GLOBAL_NETWORK"):
            core_calc.a_star(*pair)

    def test_network_of_the_wrong_type(self, pair):
        core_calc.GLOBAL_NETWORK = {"graph": {}}
        with pytest.raises(TypeError, match="RouteNetwork"):
            core_calc.a_star(*pair)

    @pytest.mark.parametrize("edges, error", [
        ([(1, 2)], TypeError), ("edges", TypeError), (5, TypeError),
        ({"k": "cheap"}, TypeError), ({"k": None}, TypeError),
        ({"k": -1.0}, ValueError), ({"k": INF}, ValueError), ({"k": float("nan")}, ValueError)])
    def test_bad_penalized_edges(self, pair, edges, error):
        if isinstance(edges, dict):
            edges = {tuple(pair): edges["k"]}
        with pytest.raises(error, match="penalized_edges"):
            core_calc.a_star(*pair, penalized_edges=edges)

    def test_penalty_keys_that_are_no_edges_are_ignored(self, pair):
        a, b = pair
        edges = {(b, a): 9.0, ("junk",): 1.0, (a, node("Z", 0.0, 0.0)): 2.0, "x": 3.0, (a, b, a): 4.0}
        assert core_calc.a_star(a, b, penalized_edges=edges) == ([b], ["W1"], 100.0)

    def test_penalized_edges_from_any_mapping(self, pair):
        a, b = pair
        view = types.MappingProxyType({(a, b): 7.0})
        assert core_calc.a_star(a, b, penalized_edges=view)[2] == 107.0

    @pytest.mark.parametrize("kwargs, error", [
        (dict(target_lat="x", target_lon=1.0), TypeError),
        (dict(target_lat=float("nan"), target_lon=1.0), ValueError),
        (dict(target_lat=1.0, target_lon=INF), ValueError),
        (dict(initial_prev_coord="ab"), TypeError),
        (dict(initial_prev_coord=(1.0,)), TypeError),
        (dict(initial_prev_coord=5), TypeError),
        (dict(initial_prev_coord=("a", 1.0)), TypeError),
        (dict(initial_prev_coord=(float("nan"), 1.0)), ValueError)])
    def test_bad_points(self, pair, kwargs, error):
        with pytest.raises(error):
            core_calc.a_star(*pair, **kwargs)

    def test_turn_at_a_node_without_coordinates(self):
        s, m, e = node("S", 0.0, 0.0), node("M", 0.0, 1.0), node("E", 0.0, 2.0)
        build([(s, m, 100.0, "W1"), (m, e, 100.0, "W1")], {**at(s), **at(e)})
        with pytest.raises(KeyError) as raised:
            core_calc.a_star(s, e)
        assert raised.value.args == (m,)
        # With a previous point the turn at the start already needs M's position.
        with pytest.raises(KeyError) as raised:
            core_calc.a_star(s, e, initial_prev_coord=(0.0, -1.0))
        assert raised.value.args == (m,)
        assert core_calc.a_star(s, m) == ([], [], INF)

    def test_negative_distance_is_refused_not_looped(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        c = node("C", 5.0, 5.0)
        build([(a, b, -10.0, "W1")], {**at(a), **at(b), **at(c)})
        with pytest.raises(ValueError, match="negative"):
            core_calc.a_star(a, c)

    def test_nan_and_infinite_lengths_are_never_taken(self):
        s, a, b, e = node("S", 0.0, 0.0), node("A", 0.05, 1.0), node("B", -0.05, 1.0), node("E", 0.0, 2.0)
        build([(s, a, float("nan"), "W1"), (a, e, 100.0, "W1"), (s, b, INF, "W1"), (b, e, 100.0, "W1")],
              {**at(s), **at(a), **at(b), **at(e)})
        assert core_calc.a_star(s, e) == ([], [], INF)

    def test_non_finite_coordinates_reached_by_the_search(self):
        a, b = node("A", 0.0, 0.0), node("B", 0.0, 1.0)
        build([(a, b, 100.0, "W1")], {a: (0.0, 0.0), b: (float("nan"), 1.0)})
        with pytest.raises(ValueError, match="not finite"):
            core_calc.a_star(a, b, 0.0, 1.0)


def random_network(rng, size):
    """Nodes on a coarse grid with few names (many ties), mixed routes and lengths."""
    names = ["A", "B", "C", "É", "a"]
    keys = list({(rng.choice(names), rng.randint(0, 6) * 0.5, rng.randint(0, 6) * 0.5)
                 for _ in range(size)})
    edges = []
    for _ in range(size * 2):
        u, v = rng.sample(keys, 2)
        length = rng.choice([rng.randint(1, 4) * 50.0, core_calc.vectorized_haversine(u[1], u[2], v[1], v[2])])
        edges.append((u, v, length, rng.choice(["W1", "W2", "DCT", None]), rng.random() < 0.7))
    coords = {k: (k[1], k[2]) for k in keys if rng.random() < 0.99}
    return keys, build(edges, coords)


class TestAgainstReference:
    @pytest.mark.parametrize("seed", range(12))
    def test_random_hand_built_networks(self, seed):
        rng = random.Random(seed)
        keys, net = random_network(rng, 40)
        graph, coords = snapshot(net)
        for _ in range(25):
            s, e = rng.choice(keys), rng.choice(keys)
            kwargs = {}
            if rng.random() < 0.3:
                kwargs["initial_prev_coord"] = (rng.uniform(-1, 4), rng.uniform(-1, 4))
            if rng.random() < 0.3:
                kwargs["target_lat"], kwargs["target_lon"] = rng.uniform(-1, 4), rng.uniform(-1, 4)
            if rng.random() < 0.3:
                kwargs["penalized_edges"] = {(u, v): rng.choice([0, 30.0, 500])
                                             for u in rng.sample(keys, 5) for v in graph.get(u, {})}
            expected = outcome(reference_a_star, graph, coords, s, e, **kwargs)
            assert outcome(core_calc.a_star, s, e, **kwargs) == expected
            if expected[0] != "KeyError":
                # Re-expansions within the slack never change a route, only the work done.
                assert core_calc._a_star_stats(s, e, **kwargs) == reference_with_count(
                    graph, coords, s, e, **kwargs)


@pytest.fixture(scope="module")
def sample_dbs(tmp_path_factory):
    folder = tmp_path_factory.mktemp("navdb")
    paths = {}
    for size in ("tiny", "demo"):
        paths[size] = str(folder / f"{size}.db")
        gen_navdb.generate(paths[size], size, seed=3)
    return paths


def load(path):
    core_calc.DB_PATH = path
    net = core_calc.init_network()
    core_calc.GLOBAL_NETWORK = net
    return net


class TestLoadedNetworks:
    def test_routes_are_graph_walks_no_shorter_than_the_great_circle(self, sample_dbs):
        net = load(sample_dbs["tiny"])
        graph, coords = snapshot(net)
        keys = list(graph)
        rng = random.Random(5)
        found = 0
        for _ in range(150):
            s, e = rng.choice(keys), rng.choice(keys)
            path, routes, cost = core_calc.a_star(s, e)
            assert (path, routes, cost) == reference_a_star(graph, coords, s, e)
            if not path:
                continue
            found += 1
            assert cost >= core_calc.vectorized_haversine(s[1], s[2], e[1], e[2])
            assert len(routes) == len(path)
            for u, v, rid in zip([s] + path, path, routes):
                assert graph[u][v][1] == rid
        assert found > 50

    def test_demo_network_matches_the_reference(self, sample_dbs):
        net = load(sample_dbs["demo"])
        graph, coords = snapshot(net)
        keys = list(graph)
        rng = random.Random(8)
        for _ in range(6):
            s, e = rng.choice(keys), rng.choice(keys)
            prev = (s[1] - 0.3, s[2] - 0.2)
            assert core_calc.a_star(s, e, initial_prev_coord=prev) == reference_a_star(
                graph, coords, s, e, initial_prev_coord=prev)

    @pytest.mark.concurrency
    def test_concurrent_searches_agree_with_single_thread(self, sample_dbs):
        net = load(sample_dbs["demo"])
        keys = list(net.graph)
        rng = random.Random(11)
        pairs = [(rng.choice(keys), rng.choice(keys)) for _ in range(40)]
        expected = [core_calc.a_star(s, e) for s, e in pairs]
        results = [None] * 4
        errors = []

        def worker(index):
            try:
                order = list(range(len(pairs)))
                random.Random(index).shuffle(order)
                got = {}
                for _ in range(3):
                    for i in order:
                        got[i] = core_calc.a_star(*pairs[i])
                results[index] = [got[i] for i in range(len(pairs))]
            except Exception as error:  # reported below, a thread cannot fail the test itself
                errors.append(error)

        threads = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert not errors
        assert all(r == expected for r in results)
        assert any(path for path, _, _ in expected)


class TestConnectToNetwork:
    NODE = node("FIX", 10.95, 10.5)  # in grid cell (10, 10)

    @pytest.fixture
    def grid_net(self):
        net = build([], {})
        net.spatial_index.add_point(self.NODE, self.NODE[1], self.NODE[2])
        return net

    @staticmethod
    def south_of_node(km):
        return TestConnectToNetwork.NODE[1] - km / (6371 * math.pi / 180)

    def test_no_network(self):
        core_calc.GLOBAL_NETWORK = None
        assert core_calc.connect_to_network(10.0, 10.0, 200) == (None, [])

    def test_wrong_network_type(self):
        core_calc.GLOBAL_NETWORK = "network"
        with pytest.raises(TypeError):
            core_calc.connect_to_network(10.0, 10.0, 200)

    @pytest.mark.parametrize("segment_length, km, found", [
        (200, 99, True), (200, 101, False), (0, 99, True), (-50, 101, False), (500, 101, False),
        (1000, 101, True), (1000, 150, True), (700, 150, False), (1000, 199, True),
        (1000, 201, False)])
    def test_radius_grows_with_the_leg(self, grid_net, segment_length, km, found):
        lat = self.south_of_node(km)
        dist = core_calc.vectorized_haversine(lat, 10.5, self.NODE[1], self.NODE[2])
        assert abs(dist - km) < 0.01
        expected = (self.NODE, [("DCT", self.NODE, dist)]) if found else (None, [])
        assert core_calc.connect_to_network(lat, 10.5, segment_length) == expected

    def test_nothing_within_the_radius(self, grid_net):
        assert core_calc.connect_to_network(-30.0, -30.0, 200) == (None, [])

    def test_exactly_on_a_node(self, grid_net):
        assert core_calc.connect_to_network(10.95, 10.5, 50) == (self.NODE, [("DCT", self.NODE, 0.0)])

    def test_constants_are_read_at_call_time(self, grid_net):
        lat = self.south_of_node(99)
        core_calc.BASE_CONNECTOR_DIST = 50
        assert core_calc.connect_to_network(lat, 10.5, 200) == (None, [])
        core_calc.DYNAMIC_CONNECTOR_FACTOR = 0.5
        assert core_calc.connect_to_network(lat, 10.5, 200)[0] == self.NODE
        del core_calc.BASE_CONNECTOR_DIST
        with pytest.raises(NameError, match="BASE_CONNECTOR_DIST"):
            core_calc.connect_to_network(lat, 10.5, 200)

    @pytest.mark.parametrize("args", [("x", 10.5, 200), (10.0, 10.5, "long")])
    def test_bad_arguments(self, grid_net, args):
        with pytest.raises(TypeError):
            core_calc.connect_to_network(*args)

    def test_loaded_network(self, sample_dbs):
        net = load(sample_dbs["tiny"])
        key = next(iter(net.coord_map))
        assert core_calc.connect_to_network(key[1], key[2], 0) == (key, [("DCT", key, 0.0)])
