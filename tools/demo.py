#!/usr/bin/env python3
"""End-to-end demonstration of core_calc, as a host uses it.

    python tools/demo.py DB_PATH [DEP ARR]

Loads the airway network of the navigation database DB_PATH (written first with
the sample generator when the file does not exist), plans a route between two
sample airports that have SIDs, STARs and approaches (or between DEP and ARR),
prints the API record as indented JSON and then the route string on its own
line, and writes route.svg in the current directory: the route over the
surrounding airway network, with the waypoint names, the two airports and the
departure, en-route, arrival and approach legs in their own colours.
"""
import json
import math
import os
import sqlite3
import sys
from xml.sax.saxutils import escape

import core_calc

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
SAMPLE_PAIR = ("EPFO", "UUZS")  # what the generator suggests for its demo size
PAIR_DISTANCE_KM = (800.0, 2000.0)
PAIRS_TRIED = 10
SVG_NAME = "route.svg"


# --- choosing the airports ---------------------------------------------------


def generate_sample(path):
    """Writes the sample database to `path`; returns the pair it suggests."""
    sys.path.insert(0, TOOLS_DIR)
    import gen_navdb

    print(f"generating the sample navigation database {path} ...", file=sys.stderr)
    return tuple(gen_navdb.generate(path, "demo")["demo_pair"])


def query(path, sql):
    conn = sqlite3.connect(path)
    try:
        return conn.execute(sql).fetchall()
    except sqlite3.Error:
        return []
    finally:
        conn.close()


def airports_with_procedures(path):
    """ICAO -> (SIDs, STARs, approaches, (lat, lon)) for airports that have all three."""
    counts = {}
    for column, table in enumerate(("tbl_sids", "tbl_stars", "tbl_iaps")):
        rows = query(path, f"SELECT airport_identifier, COUNT(DISTINCT procedure_identifier) "
                           f"FROM {table} GROUP BY airport_identifier")
        for icao, n in rows:
            counts.setdefault(icao, [0, 0, 0])[column] = n
    positions = {icao: (lat, lon) for icao, lat, lon in query(
        path, "SELECT airport_identifier, airport_ref_latitude, airport_ref_longitude "
              "FROM airports WHERE airport_ref_latitude IS NOT NULL "
              "AND airport_ref_longitude IS NOT NULL")}
    return {icao: (*n, positions[icao]) for icao, n in counts.items()
            if all(n) and icao in positions}


def candidate_pairs(path):
    """Departure/arrival pairs to try, best first, always in the same order: the
    generator's sample pair, then busy airports a medium-haul flight apart."""
    airports = airports_with_procedures(path)
    pairs = []
    if all(icao in airports for icao in SAMPLE_PAIR):
        pairs.append(SAMPLE_PAIR)
    lo, hi = PAIR_DISTANCE_KM
    scored = []
    for dep, (sids, _, _, a) in airports.items():
        for arr, (_, stars, _, b) in airports.items():
            if dep == arr:
                continue
            km = core_calc.vectorized_haversine(a[0], a[1], b[0], b[1])
            in_range = lo <= km <= hi
            scored.append((not in_range, -sids * stars, dep, arr))
    pairs += [(dep, arr) for *_, dep, arr in sorted(scored) if (dep, arr) != SAMPLE_PAIR]
    return pairs


def plan_between(pairs):
    """The first pair that gives a route, with its best plan."""
    for dep, arr in pairs[:PAIRS_TRIED]:
        result = core_calc.generate_flight_plan(dep, arr)
        if result and result[0]:
            return dep, arr, result[0]
    return None


# --- drawing -----------------------------------------------------------------

COLOURS = {
    "sid": "#2e9d3a",
    "enroute": "#1f5fbf",
    "star": "#e07b00",
    "approach": "#c2185b",
}
PHASE_TITLES = {
    "sid": "SID (departure)",
    "enroute": "En-route airways",
    "star": "STAR (arrival)",
    "approach": "Approach",
}
NETWORK_GREY = "#c4c9cf"
DIRECT_AIRWAYS = ("DCT", "DIRECT")
FONT = "DejaVu Sans, Arial, Helvetica, sans-serif"
PAD = 30
HEADER = 70
MAIN_WIDTH = 1200
MAIN_ASPECT = (0.5, 0.9)  # height / width of the overview, clamped
INSET_SIZE = (590, 380)
GAP = 20
LEGEND_HEIGHT = 28


def phases(record, plan):
    """The flight phase of every waypoint entry: the leading run flown by the SID,
    the trailing runs flown by the STAR and the approach, the rest en route."""
    entries = record["detailed_waypoints"]
    points = plan["points"]

    def run_length(items, airway, limit):
        n = 0
        while n < len(items) and n < limit and items[n]["airway"] == airway:
            n += 1
        return n

    n_sid = run_length(entries, plan["sid"], len(points["sid"]))
    rest = entries[n_sid:][::-1]
    n_iap = run_length(rest, plan["approach"], len(points["iap"])) if points["iap"] else 0
    n_star = run_length(rest[n_iap:], plan["star"], len(points["star"])) if points["star"] else 0
    n_enroute = len(entries) - n_sid - n_iap - n_star
    return ["sid"] * n_sid + ["enroute"] * n_enroute + ["star"] * n_star + ["approach"] * n_iap


class Projection:
    """Equirectangular view of a box around some positions, north up, placed at
    (left, top) on the page. Longitudes are unwrapped around the first position
    so a route across 180 degrees stays in one piece."""

    def __init__(self, positions, left, top, width, aspect, min_margin):
        self.left, self.top, self.width = left, top, width
        self.lon0 = positions[0][1]
        lats = [p[0] for p in positions]
        lons = [self.unwrap(p[1]) for p in positions]
        margin_lat = max(min_margin, 0.12 * (max(lats) - min(lats)))
        margin_lon = max(min_margin, 0.12 * (max(lons) - min(lons)))
        lat_min, lat_max = min(lats) - margin_lat, max(lats) + margin_lat
        lon_min, lon_max = min(lons) - margin_lon, max(lons) + margin_lon
        self.kx = math.cos(math.radians((lat_min + lat_max) / 2))
        span_x = (lon_max - lon_min) * self.kx
        span_y = lat_max - lat_min
        low, high = aspect
        ratio = min(max(span_y / span_x, low), high)
        if span_y < ratio * span_x:  # widen the shorter side, centred
            grow = (ratio * span_x - span_y) / 2
            lat_min, lat_max = lat_min - grow, lat_max + grow
        else:
            grow = (span_y / ratio - span_x) / 2 / self.kx
            lon_min, lon_max = lon_min - grow, lon_max + grow
        self.lat_min, self.lat_max, self.lon_min, self.lon_max = lat_min, lat_max, lon_min, lon_max
        self.scale = width / ((lon_max - lon_min) * self.kx)  # pixels per degree of latitude
        self.height = (lat_max - lat_min) * self.scale

    def unwrap(self, lon):
        return self.lon0 + (lon - self.lon0 + 180.0) % 360.0 - 180.0

    def contains(self, lat, lon):
        lon = self.unwrap(lon)
        return self.lat_min <= lat <= self.lat_max and self.lon_min <= lon <= self.lon_max

    def xy(self, lat, lon):
        x = self.left + (self.unwrap(lon) - self.lon_min) * self.kx * self.scale
        y = self.top + (self.lat_max - lat) * self.scale
        return round(x, 1), round(y, 1)


class Labels:
    """Greedy placement of text labels: the first offset that overlaps nothing."""

    OFFSETS = ((7, -6, "start"), (7, 14, "start"), (-7, -6, "end"), (-7, 14, "end"),
               (0, -10, "middle"), (0, 20, "middle"))

    def __init__(self):
        self.boxes = []

    @staticmethod
    def box(x, y, width, size, anchor):
        left = {"start": x, "end": x - width, "middle": x - width / 2}[anchor]
        return left - 2, y - size, left + width + 2, y + 3

    def free(self, box):
        return all(box[2] < b[0] or box[0] > b[2] or box[3] < b[1] or box[1] > b[3]
                   for b in self.boxes)

    def place(self, x, y, content, size, force=False):
        """(x, y, anchor) for the label, or None when every spot is taken."""
        width = 0.62 * size * len(content)
        for dx, dy, anchor in self.OFFSETS:
            b = self.box(x + dx, y + dy, width, size, anchor)
            if self.free(b) or force:
                self.boxes.append(b)
                return x + dx, y + dy, anchor
        return None

    def reserve(self, x, y, radius):
        self.boxes.append((x - radius, y - radius, x + radius, y + radius))


def text(x, y, content, size=11, anchor="start", weight="normal", fill="#222",
         style="normal", halo=True):
    outline = (' stroke="white" stroke-width="3" stroke-linejoin="round" paint-order="stroke"'
               if halo else "")
    return (f'<text x="{x}" y="{y}" font-size="{size}" text-anchor="{anchor}" '
            f'font-weight="{weight}" font-style="{style}" fill="{fill}"{outline}>'
            f'{escape(str(content))}</text>')


def placed_text(spot, content, size, **style):
    x, y, anchor = spot
    return text(x, y, content, size, anchor, **style)


def wrap(words, width):
    lines, line = [], ""
    for word in words:
        if line and len(line) + 1 + len(word) > width:
            lines.append(line)
            line = word
        else:
            line = f"{line} {word}" if line else word
    return lines + [line] if line else lines


def network_lines(projection):
    """Airway legs with at least one end inside the view, each pair drawn once."""
    net = core_calc.GLOBAL_NETWORK
    inside = [key for key, (lat, lon) in net.coord_map.items() if projection.contains(lat, lon)]
    drawn = set()
    for key in inside:
        for neighbour in net.graph[key]:
            pair = (key, neighbour) if key < neighbour else (neighbour, key)
            if pair not in drawn:
                drawn.add(pair)
                yield key, neighbour


def airway_runs(entries, kinds):
    """[first, last] entry indices of every run of en-route legs on one named
    airway; leg i flies from entry i - 1 to entry i."""
    runs = []
    for i in range(1, len(entries)):
        airway = entries[i]["airway"]
        if kinds[i] != "enroute" or airway in DIRECT_AIRWAYS:
            continue
        if runs and runs[-1][1] == i - 1 and entries[runs[-1][0]]["airway"] == airway:
            runs[-1][1] = i
        else:
            runs.append([i, i])
    return runs


def nice_length(km):
    for step in (5, 10, 20, 50, 100, 200, 500, 1000, 2000):
        if step >= km:
            return step
    return 5000


def graticule(p, out):
    span = max(p.lat_max - p.lat_min, (p.lon_max - p.lon_min) * p.kx)
    step = next((s for s, limit in ((0.25, 2), (0.5, 4), (1, 12), (2, 25), (5, 60))
                 if span < limit), 10)
    bottom, right = p.top + p.height, p.left + p.width

    def degrees(value, positive, negative):
        return f"{abs(value):g}°{positive if value >= 0 else negative}"

    lat = math.ceil(p.lat_min / step) * step
    while lat <= p.lat_max:
        _, y = p.xy(lat, p.lon0)
        out.append(f'<line x1="{p.left}" y1="{y}" x2="{right}" y2="{y}" class="grid"/>')
        if y - p.top > 40:  # clear of the panel title
            out.append(text(p.left + 4, y - 3, degrees(lat, "N", "S"), 9, fill="#8a9099"))
        lat += step
    lon = math.ceil(p.lon_min / step) * step
    while lon <= p.lon_max:
        x, _ = p.xy(p.lat_max, lon)
        out.append(f'<line x1="{x}" y1="{p.top}" x2="{x}" y2="{bottom}" class="grid"/>')
        if right - x > 40:
            out.append(text(x + 3, bottom - 4, degrees((lon + 180) % 360 - 180, "E", "W"), 9,
                            fill="#8a9099"))
        lon += step


def scale_bar(p, out):
    px_per_km = p.scale / 111.195
    km = nice_length(p.width / px_per_km / 7)
    length = km * px_per_km
    x0 = p.left + p.width - length - 14
    y0 = p.top + p.height - 12
    out.append(f'<rect x="{x0 - 8:.1f}" y="{y0 - 22}" width="{length + 16:.1f}" height="30" '
               f'fill="white" fill-opacity="0.85" rx="4"/>')
    out.append(f'<path d="M{x0:.1f},{y0 - 5} V{y0} H{x0 + length:.1f} V{y0 - 5}" fill="none" '
               f'stroke="#333" stroke-width="2"/>')
    out.append(text(round(x0 + length / 2, 1), y0 - 9, f"{km} km", 10, "middle"))


class RouteDrawing:
    """What every panel shows: the waypoints with their phases and the airports."""

    def __init__(self, record, plan, airports):
        self.entries = record["detailed_waypoints"]
        self.kinds = phases(record, plan)
        self.airports = {icao: pos for icao, pos in airports.items() if pos}

    def positions(self, wanted=None):
        chosen = [(w["lat"], w["lon"]) for w, kind in zip(self.entries, self.kinds)
                  if wanted is None or kind in wanted]
        return chosen

    def is_airport_point(self, name):
        return name.endswith("APT") and name[:-3] in self.airports

    def panel(self, p, clip_id, title, out, labels_inside=True):
        """One map: grey network, route legs, waypoints, airports, labels, scale."""
        out.append(f'<clipPath id="{clip_id}"><rect x="{p.left}" y="{p.top}" '
                   f'width="{p.width:.1f}" height="{p.height:.1f}"/></clipPath>')
        out.append(f'<rect x="{p.left}" y="{p.top}" width="{p.width:.1f}" '
                   f'height="{p.height:.1f}" fill="#fafbfc" stroke="#b0b6bd"/>')
        out.append(f'<g clip-path="url(#{clip_id})">')
        graticule(p, out)
        for a, b in network_lines(p):
            (x1, y1), (x2, y2) = p.xy(a[1], a[2]), p.xy(b[1], b[2])
            out.append(f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" class="net"/>')
        points = [p.xy(w["lat"], w["lon"]) for w in self.entries]
        labels = Labels()
        self.legs(points, out)
        for (x, y), kind in zip(points, self.kinds):
            out.append(f'<circle cx="{x}" cy="{y}" r="3.5" fill="white" '
                       f'stroke="{COLOURS[kind]}" stroke-width="2"/>')
            labels.reserve(x, y, 4)
        self.airport_marks(p, labels, out)
        self.airway_labels(points, labels, out)
        for (x, y), w in zip(points, self.entries):
            if self.is_airport_point(w["name"]) or not p.contains(w["lat"], w["lon"]):
                continue
            spot = labels.place(x, y, w["name"], 11)
            if spot:
                out.append(placed_text(spot, w["name"], 11))
        scale_bar(p, out)
        out.append("</g>")
        out.append(text(p.left + 10, p.top + 20, title, 13, weight="bold", fill="#333"))

    def legs(self, points, out):
        for i in range(1, len(self.entries)):
            (x1, y1), (x2, y2) = points[i - 1], points[i]
            direct = self.entries[i]["airway"] in DIRECT_AIRWAYS
            dash = ' stroke-dasharray="7 5"' if direct else ""
            out.append(f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" '
                       f'stroke="{COLOURS[self.kinds[i]]}" stroke-width="3.5" '
                       f'stroke-linecap="round"{dash}/>')

    def airport_marks(self, p, labels, out):
        for position in self.airports.values():
            x, y = p.xy(*position)
            out.append(f'<rect x="{x - 7}" y="{y - 7}" width="14" height="14" fill="#111" '
                       f'stroke="white" stroke-width="2"/>')
            labels.reserve(x, y, 9)
        for icao, position in self.airports.items():
            x, y = p.xy(*position)
            spot = labels.place(x + 3, y, icao, 15, force=True)
            out.append(placed_text(spot, icao, 15, weight="bold", fill="#111"))

    def airway_labels(self, points, labels, out):
        for first, last in airway_runs(self.entries, self.kinds):
            middle = (first + last + 1) // 2  # the middle leg of the run
            (x1, y1), (x2, y2) = points[middle - 1], points[middle]
            airway = self.entries[first]["airway"]
            spot = labels.place(round((x1 + x2) / 2, 1), round((y1 + y2) / 2, 1), airway, 11)
            if spot:
                out.append(placed_text(spot, airway, 11, weight="bold", fill=COLOURS["enroute"],
                                       style="italic"))


def legend(x, y, out):
    items = [(PHASE_TITLES[k], COLOURS[k], "") for k in COLOURS]
    items += [("Direct leg", "#555", "7 5"), ("Airway network", NETWORK_GREY, "")]
    for title, colour, dash in items:
        dash_attr = f' stroke-dasharray="{dash}"' if dash else ""
        width = 2 if colour == NETWORK_GREY else 4
        out.append(f'<line x1="{x}" y1="{y}" x2="{x + 30}" y2="{y}" stroke="{colour}" '
                   f'stroke-width="{width}"{dash_attr}/>')
        out.append(text(x + 37, y + 4, title, 12, halo=False))
        x += 50 + 7.4 * len(title)
    out.append(f'<rect x="{x + 9}" y="{y - 6}" width="12" height="12" fill="#111"/>')
    out.append(text(x + 28, y + 4, "Airport", 12, halo=False))


def terminal_area(drawing, phase_names, icao, next_to):
    """Positions of one end of the flight: its procedures, the airport and the
    en-route fix where the procedures meet the airways."""
    positions = drawing.positions(phase_names)
    if icao in drawing.airports:
        positions.append(drawing.airports[icao])
    enroute = drawing.positions({"enroute"})
    if enroute:
        positions.append(enroute[next_to])
    return positions


def draw_svg(record, plan, airports):
    """The whole picture: an overview of the flight and the two terminal areas."""
    drawing = RouteDrawing(record, plan, airports)
    overview = Projection(drawing.positions() + list(drawing.airports.values()), PAD, HEADER,
                          MAIN_WIDTH, MAIN_ASPECT, 0.4)
    legend_y = HEADER + overview.height + GAP
    inset_top = legend_y + LEGEND_HEIGHT
    inset_aspect = (INSET_SIZE[1] / INSET_SIZE[0],) * 2
    origin, destination = record["origin"], record["destination"]
    departure = Projection(terminal_area(drawing, {"sid"}, origin, 0), PAD, inset_top,
                           INSET_SIZE[0], inset_aspect, 0.08)
    arrival = Projection(terminal_area(drawing, {"star", "approach"}, destination, -1),
                         PAD + INSET_SIZE[0] + GAP, inset_top, INSET_SIZE[0], inset_aspect, 0.08)
    route_lines = wrap(record["route_string"].split(), 160)
    footer_top = inset_top + INSET_SIZE[1] + GAP
    width = MAIN_WIDTH + 2 * PAD
    height = round(footer_top + 16 * len(route_lines) + 22)

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'viewBox="0 0 {width} {height}" font-family="{FONT}">',
           "<style>.grid{stroke:#e6e9ed;stroke-width:1}.net{stroke:" + NETWORK_GREY +
           ";stroke-width:1}</style>",
           f'<rect width="{width}" height="{height}" fill="white"/>']
    procedures = record["procedures"]
    approach = procedures["iap"] + (f".{procedures['iap_trans']}" if procedures["iap_trans"]
                                    else "")
    out.append(text(PAD, 30, f"{origin} → {destination}   ·   {record['distance_km']} km", 20,
                    weight="bold", fill="#111", halo=False))
    out.append(text(PAD, 54, f"SID {procedures['sid']}   ·   STAR {procedures['star']}   ·   "
                             f"Approach {approach}   ·   Runways {record['dep_runway']} "
                             f"(departure), {record['arr_runway']} (arrival)",
                    13, fill="#444", halo=False))
    drawing.panel(overview, "overview", "Route", out)
    legend(PAD + 6, round(legend_y + 6, 1), out)
    drawing.panel(departure, "departure", f"Departure {origin}", out)
    drawing.panel(arrival, "arrival", f"Arrival {destination}", out)
    out.append(text(PAD, round(footer_top, 1), "Route", 12, weight="bold", halo=False))
    for i, line in enumerate(route_lines):
        out.append(f'<text x="{PAD}" y="{footer_top + 17 + 16 * i:.1f}" font-size="12" '
                   f'font-family="DejaVu Sans Mono, monospace" fill="#333">{escape(line)}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


# --- the demonstration ---------------------------------------------------------


def main(argv):
    if len(argv) not in (2, 4):
        print("usage: python tools/demo.py DB_PATH [DEP ARR]", file=sys.stderr)
        return 2
    path = argv[1]
    pairs = []
    if len(argv) == 4:
        pairs.append((argv[2].upper(), argv[3].upper()))
    if not os.path.exists(path):
        pairs.append(generate_sample(path))

    core_calc.DB_PATH = path
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    if len(argv) == 2:
        pairs += [p for p in candidate_pairs(path) if p not in pairs]
    found = plan_between(pairs)
    if not found:
        tried = ", ".join(f"{dep} -> {arr}" for dep, arr in pairs[:PAIRS_TRIED]) or "none"
        print(f"no route found (pairs tried: {tried})", file=sys.stderr)
        return 1
    dep, arr, plan = found

    record = core_calc.format_for_api(plan)
    print(json.dumps(record, indent=2, ensure_ascii=False))
    print(record["route_string"])

    airports = {icao: core_calc.get_airport_ref_coord(icao) for icao in (dep, arr)}
    with open(SVG_NAME, "w", encoding="utf-8") as f:
        f.write(draw_svg(record, plan, airports))
    print(f"wrote {os.path.abspath(SVG_NAME)}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
