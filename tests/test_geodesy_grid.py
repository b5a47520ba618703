"""Distance, bearing, turn angle and the grid index of points."""
import math

import pytest

import core_calc
from core_calc import SpatialGrid, get_bearing, get_turn_angle, vectorized_haversine


def test_haversine_numbers_and_sequences():
    assert vectorized_haversine(10, 20, 10, 20) == 0.0
    assert vectorized_haversine(0, 0, 0, 1) == pytest.approx(6371 * math.pi / 180)
    assert isinstance(vectorized_haversine(0, 0, 0, 1), float)
    assert vectorized_haversine([0, 0], [0, 0], [0, 1], [1, 0]) == pytest.approx(
        [6371 * math.pi / 180] * 2)
    assert vectorized_haversine(0, 0, (0, 0, 1), [1, 2, 0]) == [
        vectorized_haversine(0, 0, 0, 1), vectorized_haversine(0, 0, 0, 2),
        vectorized_haversine(0, 0, 1, 0)]
    with pytest.raises(ValueError):
        vectorized_haversine([0, 1], 0, [0], 0)
    with pytest.raises(TypeError):
        vectorized_haversine("a", 0, 0, 0)


@pytest.mark.parametrize("lat2,lon2,expected", [(1, 0, 0.0), (0, 1, 90.0), (0, -1, 270.0),
                                                (0, 0, 0.0), (-1, 0, 180.0)])
def test_bearing(lat2, lon2, expected):
    assert get_bearing(0, 0, lat2, lon2) == pytest.approx(expected)
    assert 0 <= get_bearing(0, 0, lat2, lon2) < 360


def test_bearing_takes_numbers_only():
    with pytest.raises(TypeError):
        get_bearing([0], 0, 1, 0)


@pytest.mark.parametrize("points,expected", [
    ((0, 0, 0, 1, 0, 2), 0.0),
    ((0, 0, 0, 1, 0, 0), 180.0),
    ((0, 0, 1, 0, 2, 0), 0.0),
])
def test_turn_angle(points, expected):
    assert get_turn_angle(*points) == pytest.approx(expected, abs=1e-9)


def test_turn_angle_folds_across_north():
    # in 350, out 10: 20 degrees, not 340
    p = (0.0, 0.0)
    c = (math.cos(math.radians(350)), math.sin(math.radians(350)))
    n_bearing_point = (c[0] + math.cos(math.radians(10)), c[1] + math.sin(math.radians(10)))
    angle = get_turn_angle(*p, *c, *n_bearing_point)
    assert angle == pytest.approx(20, abs=0.1)


@pytest.fixture
def grid():
    return SpatialGrid()


def test_cell_keys_floor_towards_minus_infinity(grid):
    grid.add_point("A", 31.7, -0.2)
    grid.add_point("B", -0.5, 179.9)
    assert list(grid.grid.keys()) == [(31, -1), (-1, 179)]
    assert grid.grid[(31, -1)] == [("A", 31.7, -0.2)]
    assert len(grid.grid) == 2 and (0, 0) not in grid.grid


def test_any_host_value_is_a_point(grid):
    grid.add_point(["unhashable"], 1.5, 1.5)
    grid.add_point({"k": 1}, 1.5, 1.6)
    wp, dist = grid.query_nearest(1.5, 1.5)
    assert wp == ["unhashable"] and dist == 0.0


def test_radius_rules_of_the_three_queries(grid):
    # 2 km away, across the whole-degree line at latitude 1
    grid.add_point("N", 1.01, 0.5)
    assert grid.query_nearest(0.995, 0.5, 100) == (None, None)
    assert grid.query_nearest_wide(0.995, 0.5, 100)[0] == "N"
    assert [wp for wp, _ in grid.query_k_nearest(0.995, 0.5, 100, 5)] == ["N"]


def test_node_at_exactly_max_dist_is_found(grid):
    grid.add_point("E", 0.5, 0.6)
    d = vectorized_haversine(0.5, 0.5, 0.5, 0.6)
    assert grid.query_nearest(0.5, 0.5, d) == ("E", d)
    assert grid.query_nearest_wide(0.5, 0.5, d) == ("E", d)
    assert grid.query_k_nearest(0.5, 0.5, d) == [("E", d)]
    assert grid.query_nearest(0.5, 0.5, d * 0.999999) == (None, None)
    assert grid.query_k_nearest(0.5, 0.5, d * 0.999999) == []


def test_columns_do_not_wrap(grid):
    grid.add_point("W", 0.0, -179.9)
    assert grid.query_nearest(0.0, 179.9, 100) == (None, None)
    assert grid.query_nearest_wide(0.0, 179.9, 100) == (None, None)


def test_ties_go_to_the_first_entry_in_scan_order(grid):
    # Equal distances: the cell scanned first wins, whatever the filing order.
    grid.add_point("NORTH", 1.25, 0.5)  # cell (1, 0)
    grid.add_point("SOUTH", 0.75, 0.5)  # cell (0, 0), scanned before (1, 0)
    grid.add_point("SOUTH_TWIN", 0.75, 0.5)
    assert grid.query_nearest_wide(1.0, 0.5, 50)[0] == "SOUTH"
    assert [w for w, _ in grid.query_k_nearest(1.0, 0.5, 50, 3)] == ["SOUTH", "SOUTH_TWIN", "NORTH"]


def test_k_nearest_returns_each_point_once_nearest_first(grid):
    for _ in range(3):
        grid.add_point(("P", 0.5, 0.5), 0.5, 0.5)
    grid.add_point("Q", 0.5, 0.55)
    grid.add_point("R", 0.5, 0.52)
    assert [w for w, _ in grid.query_k_nearest(0.5, 0.5, 50, 10)] == [("P", 0.5, 0.5), "R", "Q"]
    assert len(grid.query_k_nearest(0.5, 0.5, 50, 2)) == 2
    assert grid.query_k_nearest(0.5, 0.5, 50, 0) == []


@pytest.mark.parametrize("k", [-1, -2, -3, -10**18])
def test_negative_k_asks_for_no_pairs(grid, k):
    # "Up to k pairs": not a slice that drops pairs from the end.
    for name, lon in [("A", 0.5), ("B", 0.51), ("C", 0.52)]:
        grid.add_point(name, 0.5, lon)
    assert grid.query_k_nearest(0.5, 0.5, 50, k) == []


@pytest.mark.parametrize("query", [
    lambda g: g.query_nearest(0, 0),
    lambda g: g.query_nearest_wide(0, 0, 10),
])
def test_empty_grid_and_negative_radius(grid, query):
    assert query(grid) == (None, None)
    grid.add_point("A", 0.1, 0.1)
    assert grid.query_nearest(0.1, 0.1, -1) == (None, None)
    assert grid.query_k_nearest(0.1, 0.1, -1, 3) == []


@pytest.mark.parametrize("lat,lon,error", [
    (math.nan, 0.0, ValueError), (0.0, math.inf, OverflowError), (-math.inf, 0.0, OverflowError)])
def test_non_finite_coordinates_are_refused(grid, lat, lon, error):
    with pytest.raises(error):
        grid.add_point("X", lat, lon)
    assert len(grid.grid) == 0
    for q in (grid.query_nearest, grid.query_nearest_wide):
        with pytest.raises(error):
            q(lat, lon, 10)
    with pytest.raises(error):
        grid.query_k_nearest(lat, lon, 10, 1)


def test_grid_size_is_read_at_every_use(grid):
    core_calc.GRID_SIZE = 10.0
    grid.add_point("A", 15.0, 25.0)
    assert list(grid.grid) == [(1, 2)]
    core_calc.GRID_SIZE = 1.0
    assert grid.query_nearest(15.0, 25.0, 50) == (None, None)  # looks in cell (15, 25)


@pytest.mark.parametrize("size,error", [(0, ZeroDivisionError), (0.0, ZeroDivisionError),
                                        ("1.0", TypeError), (None, TypeError)])
def test_bad_grid_sizes_are_clear_errors(grid, size, error):
    core_calc.GRID_SIZE = size
    with pytest.raises(error):
        grid.add_point("A", 1, 1)
    with pytest.raises(error):
        grid.query_nearest(1, 1, 10)


def test_negative_grid_size_scans_nothing(grid):
    core_calc.GRID_SIZE = -1.0
    grid.add_point("A", 1.5, 1.5)
    assert list(grid.grid) == [(-2, -2)]
    assert grid.query_nearest(1.5, 1.5, 500) == (None, None)


def test_huge_radius_returns_promptly_with_the_scan_order_result(grid):
    for i in range(50):
        grid.add_point(f"P{i}", -60 + i * 2.5, -170 + i * 7)
    wp, dist = grid.query_nearest(0, 0, 1e12)
    expected = min((vectorized_haversine(0, 0, -60 + i * 2.5, -170 + i * 7), f"P{i}")
                   for i in range(50))
    assert (wp, dist) == (expected[1], expected[0])
    assert len(grid.query_k_nearest(0, 0, 1e300, 1000)) == 50
    with pytest.raises(OverflowError):
        grid.query_nearest(0, 0, math.inf)


def test_long_and_non_ascii_names(grid):
    name = "Ä" * 10000
    grid.add_point(name, 1, 1)
    assert grid.query_nearest(1, 1) == (name, 0.0)
