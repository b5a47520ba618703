"""Host code that runs while the network converts an argument (a key element's
__float__, GRID_SIZE's) may edit that very network and drop every other owner of
what it read before. Every view, edit and grid operation must finish on data that
stays alive; the sanitizer run catches a read of freed memory here."""
import pytest

import core_calc
from navdb import NavDb

A, B = ("A", 10.0, 20.0), ("B", 10.0, 21.0)


class Editing:
    """A number whose conversion edits the network (each time with a new node, so
    the edit cannot be skipped as a repeat) and then drops AIRWAY_META, the other
    owner of the network as it was loaded."""

    def __init__(self, net, value):
        self.net, self.value, self.calls = net, value, 0

    def __float__(self):
        self.calls += 1
        n = self.calls
        self.net.add_edge((f"X{n}", 1.0, n), (f"Y{n}", 2.0, n), 1.0, "Z9")
        self.net.coord_map[(f"X{n}", 1.0, n)] = (1.0, n)
        core_calc.AIRWAY_META = {}
        return self.value


@pytest.fixture
def net(tmp_path):
    NavDb(tmp_path / "nav.db").airway("A1", 1, [A, B]).close()
    core_calc.DB_PATH = str(tmp_path / "nav.db")
    net = core_calc.init_network()
    return net


def key_of(net, name="A", lat=10.0, lon=20.0):
    return (name, Editing(net, lat), lon)


@pytest.mark.parametrize("read", [
    lambda net: net.graph[key_of(net)][B],
    lambda net: key_of(net) in net.graph,
    lambda net: net.graph.get(key_of(net))[B],
    lambda net: net.graph[A][key_of(net, "B", 10.0, 21.0)],
    lambda net: net.coord_map[key_of(net)],
    lambda net: net.coord_map.get(key_of(net)),
])
def test_views_read_what_was_there(net, read):
    edge = (core_calc.vectorized_haversine(*A[1:], *B[1:]), "A1")
    assert read(net) in (edge, True, (10.0, 20.0))
    assert ("X1", 1.0, 1) in net.coord_map  # the edit itself took effect


def test_coord_map_assignment(net):
    net.coord_map[key_of(net, "C", 11.0, 20.0)] = (Editing(net, 11.0), 20.0)
    assert net.coord_map[("C", 11.0, 20.0)] == (11.0, 20.0)
    assert ("X1", 1.0, 1) in net.coord_map


def test_add_edge(net):
    net.add_edge(key_of(net), B, Editing(net, 50.0), "A2", False)
    assert net.graph[A][B] == (50.0, "A2")


def test_grid_size_that_edits_the_network(net):
    core_calc.GRID_SIZE = Editing(net, 1.0)
    assert net.spatial_index.query_nearest(10.0, 20.0, 50)[0] == A
    assert net.spatial_index.query_k_nearest(10.0, 20.0, 500, 5)[0][0] == A
    net.spatial_index.add_point(("C", 11.0, 20.0), 11.0, 20.0)
    assert list(net.spatial_index.grid[(11, 20)]) == [(("C", 11.0, 20.0), 11.0, 20.0)]


def test_search_and_metadata_of_a_network_edited_meanwhile(net):
    core_calc.GLOBAL_NETWORK = net
    assert core_calc.AIRWAY_META[("A1", key_of(net))]["seqno"] == "10"
    path, routes, cost = core_calc.a_star(key_of(net), B)
    assert path == [B] and routes == ["A1"]
