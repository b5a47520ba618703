"""The airway network inside a box, as GeoJSON for the map's background layer.

Reads the loaded network through its views: the grid's cells over the box and one
cell around it, nearest the box's centre first, and the legs of each waypoint found
there that have an end inside the box, each leg drawn once. The network lists legs
by the waypoint they leave, so a one-way leg entering the box from a waypoint
further out than that ring of cells is not drawn. At most `limit` legs are returned; "truncated" tells when more were
inside the box, so a caller zooms in for the rest. Nothing is kept between calls.
"""
import math


class BoxError(ValueError):
    """A bbox parameter that names no box on the globe; the message says why."""


def parse_bbox(text):
    """(min_lon, min_lat, max_lon, max_lat) of "min_lon,min_lat,max_lon,max_lat"."""
    parts = text.split(",")
    if len(parts) != 4:
        raise BoxError("bbox must be four numbers: min_lon,min_lat,max_lon,max_lat")
    try:
        box = tuple(float(p) for p in parts)
    except ValueError:
        raise BoxError("bbox must be four numbers: min_lon,min_lat,max_lon,max_lat") from None
    min_lon, min_lat, max_lon, max_lat = box
    if not all(math.isfinite(v) for v in box):
        raise BoxError("bbox values must be finite")
    if not (-180 <= min_lon < max_lon <= 180 and -90 <= min_lat < max_lat <= 90):
        raise BoxError("bbox must satisfy -180 <= min_lon < max_lon <= 180 and "
                       "-90 <= min_lat < max_lat <= 90")
    return box


def cells_from_centre(box, grid_size, grid):
    """The cells of `grid` that overlap the box or touch it, nearest its centre first.
    A large box is matched against the cells that exist instead of enumerating its own."""
    min_lon, min_lat, max_lon, max_lat = box
    rows = range(math.floor(min_lat / grid_size) - 1, math.floor(max_lat / grid_size) + 2)
    cols = range(math.floor(min_lon / grid_size) - 1, math.floor(max_lon / grid_size) + 2)
    if len(rows) * len(cols) > len(grid):
        cells = [cell for cell in grid if cell[0] in rows and cell[1] in cols]
    else:
        cells = [(r, c) for r in rows for c in cols]
    mid_row = (rows.start + rows.stop - 1) / 2
    mid_col = (cols.start + cols.stop - 1) / 2
    cells.sort(key=lambda cell: (cell[0] - mid_row) ** 2 + (cell[1] - mid_col) ** 2)
    return cells


def network_geojson(network, grid_size, box, limit):
    """A FeatureCollection of at most `limit` airway legs with an end inside the box.

    Each feature is a LineString [[lon, lat], [lon, lat]] with the property "airway"
    (the route identifier); the collection carries "truncated" and "box"."""
    min_lon, min_lat, max_lon, max_lat = box

    def inside(key):
        return min_lat <= key[1] <= max_lat and min_lon <= key[2] <= max_lon

    grid, graph = network.spatial_index.grid, network.graph
    features, drawn, truncated = [], set(), False
    for cell in cells_from_centre(box, grid_size, grid):
        entries = grid.get(cell)
        if not entries:
            continue
        for key, _, _ in entries:
            start_inside = inside(key)
            for neighbour, (_, airway) in graph[key].items():
                if not (start_inside or inside(neighbour)):
                    continue
                pair = (key, neighbour) if key < neighbour else (neighbour, key)
                if pair in drawn:
                    continue
                if len(features) == limit:
                    truncated = True
                    break
                drawn.add(pair)
                features.append({
                    "type": "Feature",
                    "geometry": {"type": "LineString",
                                 "coordinates": [[key[2], key[1]],
                                                 [neighbour[2], neighbour[1]]]},
                    "properties": {"airway": airway},
                })
            if truncated:
                break
        if truncated:
            break
    return {"type": "FeatureCollection", "box": list(box), "truncated": truncated,
            "features": features}
