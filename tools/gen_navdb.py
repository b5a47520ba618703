#!/usr/bin/env python3
"""Deterministic generator of a synthetic navigation database (SQLite).

The database looks like real navigation data as used by the route planner:
an airway network (two tables: one with segment ids, one without), airports,
runways, departure procedures (SIDs), arrival procedures (STARs) and
instrument approaches.  All data is invented; ICAO codes, fix names and
positions only look plausible.

Usage:
    python3 tools/gen_navdb.py --size {tiny,demo,world} --out PATH [--seed N]

From Python:
    sys.path.insert(0, "<repo>/tools"); import gen_navdb
    summary = gen_navdb.generate(path, "demo", seed=1)
    summary["demo_pair"]  -> (dep_icao, arr_icao)

Same arguments always give the same rows in the same order.  Only the
standard library is used.
"""

import argparse
import math
import os
import random
import sqlite3
import sys
import time

EARTH_R = 6371.0088  # km
D2R = math.pi / 180.0
KM_PER_DEG = EARTH_R * D2R  # ~111.195 km

MIN_SEP_KM = 8.0  # two distinct airway waypoints are never closer than this
MIN_LEG_KM = 30.0
MAX_LEG_KM = 250.0

TABLES = ("airway_segments", "tbl_enroute_airways", "airports", "tbl_runways",
          "tbl_sids", "tbl_stars", "tbl_iaps")


# ---------------------------------------------------------------------------
# Spherical geometry
# ---------------------------------------------------------------------------

def norm_lon(lon):
    """Longitude into [-180, 180)."""
    return (lon + 180.0) % 360.0 - 180.0


def dlon_deg(lon_a, lon_b):
    """Signed longitude difference b - a in [-180, 180)."""
    return (lon_b - lon_a + 180.0) % 360.0 - 180.0


def haversine(lat1, lon1, lat2, lon2):
    p1 = lat1 * D2R
    p2 = lat2 * D2R
    dp = p2 - p1
    dl = dlon_deg(lon1, lon2) * D2R
    a = math.sin(dp / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dl / 2) ** 2
    return 2 * EARTH_R * math.asin(min(1.0, math.sqrt(a)))


def approx_dist(lat1, lon1, lat2, lon2):
    """Equirectangular distance, good to <1% below a few hundred km."""
    x = dlon_deg(lon1, lon2) * math.cos((lat1 + lat2) * 0.5 * D2R)
    y = lat2 - lat1
    return KM_PER_DEG * math.sqrt(x * x + y * y)


def bearing(lat1, lon1, lat2, lon2):
    """Initial great-circle bearing (deg, 0..360)."""
    p1 = lat1 * D2R
    p2 = lat2 * D2R
    dl = dlon_deg(lon1, lon2) * D2R
    y = math.sin(dl) * math.cos(p2)
    x = math.cos(p1) * math.sin(p2) - math.sin(p1) * math.cos(p2) * math.cos(dl)
    return (math.atan2(y, x) / D2R) % 360.0


def final_bearing(lat1, lon1, lat2, lon2):
    return (bearing(lat2, lon2, lat1, lon1) + 180.0) % 360.0


def dest(lat, lon, brg, dist_km):
    """Point reached from (lat, lon) flying dist_km on initial bearing brg."""
    p1 = lat * D2R
    l1 = lon * D2R
    t = brg * D2R
    d = dist_km / EARTH_R
    sp1 = math.sin(p1)
    cp1 = math.cos(p1)
    sd = math.sin(d)
    cd = math.cos(d)
    sp2 = sp1 * cd + cp1 * sd * math.cos(t)
    sp2 = max(-1.0, min(1.0, sp2))
    p2 = math.asin(sp2)
    l2 = l1 + math.atan2(math.sin(t) * sd * cp1, cd - sp1 * sp2)
    return p2 / D2R, norm_lon(l2 / D2R)


def gc_interp(lat1, lon1, lat2, lon2, f):
    """Point at fraction f along the great circle between two points."""
    p1, l1, p2, l2 = lat1 * D2R, lon1 * D2R, lat2 * D2R, lon2 * D2R
    d = haversine(lat1, lon1, lat2, lon2) / EARTH_R
    if d < 1e-9:
        return lat1, lon1
    a = math.sin((1 - f) * d) / math.sin(d)
    b = math.sin(f * d) / math.sin(d)
    x = a * math.cos(p1) * math.cos(l1) + b * math.cos(p2) * math.cos(l2)
    y = a * math.cos(p1) * math.sin(l1) + b * math.cos(p2) * math.sin(l2)
    z = a * math.sin(p1) + b * math.sin(p2)
    return (math.atan2(z, math.sqrt(x * x + y * y)) / D2R,
            norm_lon(math.atan2(y, x) / D2R))


def angle_diff(a, b):
    """Signed smallest difference b - a in degrees, (-180, 180]."""
    d = (b - a) % 360.0
    return d - 360.0 if d > 180.0 else d


# ---------------------------------------------------------------------------
# Spatial hash of points
# ---------------------------------------------------------------------------

class Grid:
    def __init__(self, lats, lons, cell=0.5):
        self.cell = cell
        self.ncol = int(round(360.0 / cell))
        self.cells = {}
        self.lats = lats
        self.lons = lons

    def add(self, idx):
        lat = self.lats[idx]
        lon = self.lons[idx]
        key = (int(math.floor(lat / self.cell)),
               int(math.floor((lon + 180.0) / self.cell)) % self.ncol)
        lst = self.cells.get(key)
        if lst is None:
            self.cells[key] = [idx]
        else:
            lst.append(idx)

    def query(self, lat, lon, r_km):
        """[(approx_dist_km, idx)] of points within r_km, deterministic order."""
        cell = self.cell
        dlat = r_km / KM_PER_DEG
        r0 = int(math.floor((lat - dlat) / cell))
        r1 = int(math.floor((lat + dlat) / cell))
        maxlat = min(89.0, abs(lat) + dlat)
        dlo = dlat / math.cos(maxlat * D2R)
        if dlo >= 180.0:
            c0, c1 = 0, self.ncol - 1
        else:
            c0 = int(math.floor((lon + 180.0 - dlo) / cell))
            c1 = int(math.floor((lon + 180.0 + dlo) / cell))
            if c1 - c0 + 1 >= self.ncol:
                c0, c1 = 0, self.ncol - 1
        lats = self.lats
        lons = self.lons
        cells = self.cells
        ncol = self.ncol
        coslat = math.cos(lat * D2R)
        out = []
        for rr in range(r0, r1 + 1):
            for cc in range(c0, c1 + 1):
                lst = cells.get((rr, cc % ncol))
                if not lst:
                    continue
                for i in lst:
                    dx = ((lons[i] - lon + 180.0) % 360.0 - 180.0) * coslat
                    dy = lats[i] - lat
                    d = KM_PER_DEG * math.sqrt(dx * dx + dy * dy)
                    if d <= r_km:
                        out.append((d, i))
        return out


# ---------------------------------------------------------------------------
# Names
# ---------------------------------------------------------------------------

CONS = "BCDFGHJKLMNPRSTVWXZ"
VOWS = "AEIOUY"
CLUSTERS = ("BR", "TR", "KR", "GR", "PR", "DR", "FR", "ST", "SK", "SL", "SP",
            "BL", "KL", "PL", "FL", "GL", "SN", "SM", "TW", "CH")
LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"


class NameGen:
    """Unique fix names; a few airway fix names are deliberately reused."""

    def __init__(self, rng):
        self.rng = rng
        self.used = {}  # name -> number of positions using it

    def _cand5(self):
        r = self.rng
        p = r.random()
        c, v = CONS, VOWS
        if p < 0.30:
            s = r.choice(c) + r.choice(v) + r.choice(c) + r.choice(v) + r.choice(c)
        elif p < 0.55:
            s = r.choice(c) + r.choice(v) + r.choice(c) + r.choice(c) + r.choice(v)
        elif p < 0.75:
            s = r.choice(v) + r.choice(c) + r.choice(c) + r.choice(v) + r.choice(c)
        elif p < 0.85:
            s = r.choice(v) + r.choice(c) + r.choice(v) + r.choice(c) + r.choice(v)
        elif p < 0.95:
            s = r.choice(CLUSTERS) + r.choice(v) + r.choice(c) + r.choice(v)
        else:
            s = "".join(r.choice(LETTERS) for _ in range(5))
        return s

    def new5(self):
        for attempt in range(200):
            s = self._cand5() if attempt < 60 else "".join(
                self.rng.choice(LETTERS) for _ in range(5))
            if s not in self.used and not s.startswith("RW"):
                self.used[s] = 1
                return s
        raise RuntimeError("fix name space exhausted")

    def new3(self):
        r = self.rng
        for _ in range(60):
            if r.random() < 0.6:
                s = r.choice(CONS) + r.choice(VOWS) + r.choice(CONS)
            else:
                s = r.choice(LETTERS) + r.choice(LETTERS) + r.choice(LETTERS)
            if s not in self.used and not s.startswith("RW"):
                self.used[s] = 1
                return s
        return self.new5()


# ---------------------------------------------------------------------------
# Regions
# ---------------------------------------------------------------------------

class Region:
    def __init__(self, name, lat0, lat1, lon0, lon1, w_air, w_apt, leg,
                 hubs=0, seed=None, awy=None):
        self.name = name
        self.lat0, self.lat1, self.lon0, self.lon1 = lat0, lat1, lon0, lon1
        self.w_air = w_air
        self.w_apt = w_apt
        self.leg = leg
        self.hubs = hubs
        self.seed = seed or ((lat0 + lat1) / 2.0, (lon0 + lon1) / 2.0)
        self.awy = awy

    def contains(self, lat, lon):
        return self.lat0 <= lat <= self.lat1 and self.lon0 <= lon <= self.lon1

    def random_point(self, rng, margin=0.0):
        s0 = math.sin((self.lat0 + margin) * D2R)
        s1 = math.sin((self.lat1 - margin) * D2R)
        lat = math.asin(rng.uniform(s0, s1)) / D2R
        lon = rng.uniform(self.lon0 + margin, self.lon1 - margin)
        return lat, lon


AWY_NAM = ("J", "J", "J", "V", "V", "V", "Q", "T")
AWY_EUR = ("UL", "UM", "UN", "UZ", "UT", "UP", "UQ", "UY", "L", "M", "N", "P",
           "Y", "Z", "T", "A", "B", "G", "R", "W")
AWY_ASIA = ("A", "B", "G", "R", "W", "W", "H", "V", "J", "Y", "M", "N", "L", "P")
AWY_SAM = ("UL", "UM", "UA", "UG", "UB", "UR", "A", "B", "G", "W", "R")
AWY_AUS = ("H", "J", "Q", "T", "W", "Y", "B")
AWY_ALL = ("A", "B", "G", "R", "W", "H", "J", "V", "Q", "T", "L", "M", "N", "P",
           "Y", "Z", "UL", "UM", "UN", "UA", "UB", "UG", "UT", "UR", "UP", "UQ",
           "UY", "UZ", "UW", "UJ", "UH")


def world_regions():
    return [
        Region("NAM", 25, 60, -125, -65, 0.22, 0.25, 70, hubs=5, seed=(39.5, -95.0), awy=AWY_NAM),
        Region("CAN", 55, 70, -165, -60, 0.03, 0.03, 140, seed=(61.0, -115.0), awy=AWY_NAM),
        Region("CAM", 8, 25, -110, -60, 0.04, 0.05, 100, seed=(17.0, -90.0), awy=AWY_SAM),
        Region("SAM", -55, 10, -80, -35, 0.07, 0.08, 120, seed=(-15.0, -55.0), awy=AWY_SAM),
        Region("EUR", 35, 70, -10, 40, 0.22, 0.22, 60, hubs=6, seed=(50.0, 10.0), awy=AWY_EUR),
        Region("RUS", 45, 70, 40, 140, 0.05, 0.04, 130, seed=(56.0, 80.0), awy=AWY_EUR),
        Region("MEA", 12, 40, 30, 62, 0.05, 0.05, 90, hubs=2, seed=(28.0, 45.0), awy=AWY_EUR),
        Region("AFR", -35, 35, -17, 50, 0.06, 0.06, 140, seed=(5.0, 20.0), awy=AWY_EUR),
        Region("SAS", 5, 35, 62, 92, 0.05, 0.05, 90, hubs=1, seed=(22.0, 78.0), awy=AWY_ASIA),
        Region("EAS", 20, 50, 95, 145, 0.13, 0.11, 70, hubs=5, seed=(33.0, 115.0), awy=AWY_ASIA),
        Region("SEA", -10, 20, 92, 130, 0.05, 0.04, 100, hubs=1, seed=(5.0, 108.0), awy=AWY_ASIA),
        Region("AUS", -45, -10, 113, 178, 0.03, 0.02, 130, seed=(-28.0, 140.0), awy=AWY_AUS),
    ]


# Long connectors between the region networks (oceanic and trunk routes).
WORLD_LINKS = (("NAM", "CAN"), ("NAM", "CAM"), ("CAM", "SAM"), ("NAM", "EUR"),
               ("EUR", "RUS"), ("EUR", "MEA"), ("EUR", "AFR"), ("MEA", "SAS"),
               ("SAS", "SEA"), ("SEA", "EAS"), ("SEA", "AUS"), ("EAS", "RUS"),
               ("EAS", "NAM"), ("AFR", "SAM"), ("MEA", "AFR"), ("CAN", "EUR"))

SIZES = {
    "tiny": dict(regions=lambda: [Region("TINY", 45, 55, 5, 15, 1.0, 1.0, 70, awy=AWY_EUR)],
                 rows=200, airports=4, dup_every=45, dup_km=400.0, navaid_p=0.06,
                 split_p=0.3),
    "demo": dict(regions=lambda: [Region("DEMO", 30, 70, -15, 45, 1.0, 1.0, 65, awy=AWY_EUR)],
                 rows=20000, airports=30, dup_every=400, dup_km=1500.0, navaid_p=0.04,
                 split_p=0.09),
    "world": dict(regions=world_regions, rows=None, airports=1500, dup_every=700,
                  dup_km=3000.0, navaid_p=0.03, split_p=0.08),
}

# ICAO prefixes by rough location (nearest entry wins).
ICAO_PREFIX = (
    ("K", 40, -100), ("K", 33, -85), ("K", 42, -75), ("K", 35, -115), ("K", 45, -120),
    ("K", 30, -97), ("K", 45, -90), ("CY", 52, -100), ("CY", 47, -72), ("CY", 55, -120),
    ("CY", 63, -95), ("PA", 62, -150), ("MM", 22, -102), ("MG", 15, -90), ("MR", 10, -84),
    ("MP", 9, -80), ("MU", 22, -80), ("TJ", 18, -66), ("MD", 19, -70), ("MK", 18, -77),
    ("SK", 5, -74), ("SV", 8, -66), ("SE", -1, -78), ("SP", -10, -76), ("SB", -12, -50),
    ("SB", -23, -47), ("SN", -8, -38), ("SW", -3, -60), ("SC", -33, -71), ("SA", -34, -64),
    ("SA", -45, -68), ("SU", -33, -56), ("SG", -23, -58), ("SL", -17, -65),
    ("EG", 53, -2), ("EI", 53, -8), ("LF", 47, 2), ("LE", 40, -4), ("LP", 39, -8),
    ("ED", 51, 10), ("EH", 52, 5), ("EB", 50.5, 4.5), ("LS", 47, 8), ("LO", 47.5, 14),
    ("LI", 43, 12), ("LK", 50, 15), ("EP", 52, 19), ("LH", 47, 19), ("LZ", 48.7, 19.5),
    ("LR", 46, 25), ("LB", 42.7, 25), ("LG", 39, 22), ("LY", 44, 20), ("LD", 45, 16),
    ("LJ", 46, 15), ("LT", 39, 35), ("EK", 56, 10), ("ES", 60, 15), ("EN", 62, 10),
    ("EF", 63, 26), ("EE", 59, 25), ("EV", 57, 25), ("EY", 55, 24), ("UM", 53, 28),
    ("UK", 49, 32), ("UU", 56, 38), ("UW", 55, 50), ("US", 57, 61), ("UN", 55, 83),
    ("UI", 52, 105), ("UH", 48, 135), ("UE", 62, 130), ("UA", 48, 67), ("UT", 40, 65),
    ("OI", 32, 53), ("OR", 33, 44), ("OS", 35, 38), ("OJ", 31, 36), ("LL", 31.5, 35),
    ("OE", 24, 45), ("OM", 24, 54), ("OO", 21, 57), ("OB", 26, 50.5), ("OT", 25.3, 51.3),
    ("OK", 29.3, 47.9), ("OY", 15, 48), ("OA", 34, 66), ("OP", 30, 70),
    ("HE", 27, 30), ("HL", 27, 17), ("DT", 34, 9), ("DA", 28, 3), ("GM", 32, -6),
    ("GO", 14, -14), ("DN", 9, 8), ("DG", 8, -1), ("DI", 7.5, -5.5), ("HS", 15, 30),
    ("HA", 9, 39), ("HK", 0, 38), ("HT", -6, 35), ("FZ", -3, 23), ("FN", -12, 17),
    ("FQ", -18, 35), ("FV", -19, 30), ("FL", -13, 28), ("FY", -22, 17), ("FB", -22, 24),
    ("FA", -29, 25), ("FA", -33, 20), ("FM", -19, 47), ("GA", 17, -4), ("DR", 17, 9),
    ("FT", 15, 19), ("FK", 6, 12), ("HU", 1, 32),
    ("VI", 26, 78), ("VA", 19, 75), ("VO", 13, 78), ("VE", 23, 88), ("VC", 7.8, 80.7),
    ("VN", 28, 84), ("VG", 24, 90), ("VY", 20, 96),
    ("ZB", 40, 115), ("ZS", 31, 120), ("ZG", 23, 112), ("ZU", 30, 104), ("ZL", 36, 104),
    ("ZW", 42, 87), ("ZY", 44, 126), ("ZH", 30, 114), ("ZP", 25, 102), ("ZJ", 20, 110),
    ("RK", 36.5, 127.8), ("RJ", 36, 138), ("RJ", 43, 142), ("RO", 26.5, 128), ("RC", 23.7, 121),
    ("VH", 22.3, 114.2), ("VT", 15, 101), ("VV", 16, 107), ("VD", 12.5, 105), ("VL", 19, 102),
    ("WM", 3.5, 102), ("WB", 3, 113), ("WS", 1.35, 103.8), ("WI", -2, 106), ("WA", -4, 120),
    ("WR", -8, 115), ("RP", 12, 122), ("AY", -6, 145),
    ("Y", -27, 150), ("Y", -33, 150), ("Y", -37, 145), ("Y", -30, 117), ("Y", -20, 133),
    ("Y", -31, 138), ("NZ", -41, 174), ("NZ", -44, 171),
)

CITY_SYL = ("MAR", "VEN", "TO", "KEL", "BRO", "OS", "TA", "NI", "LOR", "DA", "BE", "RI",
            "SAN", "MO", "RA", "LIN", "GEN", "HOL", "BER", "STA", "NOV", "GRA", "DEN",
            "VIL", "LE", "CAS", "TEL", "FOR", "DAL", "SEN", "KIR", "LA", "NA", "RO",
            "BUR", "HAM", "TON", "FEL", "HEIM", "AL", "EN", "IS", "PA", "CO", "QUI",
            "MEN", "DOR", "SO", "VA", "TRA", "ZA", "GO", "WEI", "MI", "KA", "SHI", "HU")
APT_SUFFIX = ("INTL", "INTL", "", "", "", "REGIONAL", "MUNICIPAL", "AIRPORT", "AIRBASE",
              "CITY", "FIELD")

# airport classes: runway group layouts, SID / STAR counts, approaches per end,
# minimal number of airway fixes needed in the SID (20-120 km) and STAR
# (60-200 km) rings.
CLASSES = {
    "hub": dict(layouts=([2, 2], [3, 1], [2, 1, 1], [2, 2, 1], [3, 2], [2, 2, 2], [3, 2, 1]),
                sids=(15, 30), stars=(15, 30), appr=(2, 3), req=(10, 14)),
    "major": dict(layouts=([2], [2, 1], [1, 1], [3], [2, 2], [1, 1, 1]),
                  sids=(8, 16), stars=(8, 14), appr=(1, 3), req=(5, 6)),
    "medium": dict(layouts=([1], [2], [1, 1], [2, 1], [1]),
                   sids=(3, 9), stars=(3, 8), appr=(1, 2), req=(2, 3)),
    "small": dict(layouts=([1], [1], [1], [1], [1, 1]),
                  sids=(1, 4), stars=(1, 4), appr=(0, 2), req=(1, 1)),
}


def rround(rng, x):
    """Round a coordinate to 6, 7 or 8 decimals (never fewer digits shown)."""
    d = rng.choice((6, 7, 8))
    step = 10.0 ** -d
    v = round(x, d)
    for _ in range(4):
        txt = repr(v)
        if "e" not in txt and len(txt.split(".")[1]) == d:
            break
        x += step
        v = round(x, d)
    return v


# ---------------------------------------------------------------------------
# The generator
# ---------------------------------------------------------------------------

class NavGen:
    def __init__(self, size, seed):
        if size not in SIZES:
            raise ValueError("size must be one of %s" % ", ".join(SIZES))
        self.size = size
        self.seed = seed
        self.cfg = SIZES[size]
        self.regions = self.cfg["regions"]()
        self.rng_net = random.Random("navdb-net-%s-%d" % (size, seed))
        self.rng_apt = random.Random("navdb-apt-%s-%d" % (size, seed))
        self.rng_name = random.Random("navdb-name-%s-%d" % (size, seed))
        self.names = NameGen(self.rng_name)
        # airway waypoints
        self.lats = []
        self.lons = []
        self.wnames = []
        self.wregion = []
        self.grid = Grid(self.lats, self.lons, 0.5)
        self.region_wps = [[] for _ in self.regions]
        # airways: list of dict(route, segments=[[idx...]], connector)
        self.airways = []
        self.route_ids = {}
        self.rows = 0
        self.n_committed_since_dup = 0
        self.dups = 0
        self.airports = []

    # -- mask -------------------------------------------------------------
    def in_mask(self, lat, lon):
        for r in self.regions:
            if r.lat0 <= lat <= r.lat1 and r.lon0 <= lon <= r.lon1:
                return True
        return False

    def region_of(self, lat, lon):
        for i, r in enumerate(self.regions):
            if r.contains(lat, lon):
                return i
        return -1

    # -- waypoints --------------------------------------------------------
    def _commit_wp(self, lat, lon):
        rng = self.rng_name
        idx = len(self.lats)
        self.lats.append(lat)
        self.lons.append(lon)
        name = None
        self.n_committed_since_dup += 1
        if self.n_committed_since_dup >= self.cfg["dup_every"] and idx > 10:
            # reuse the name of a far-away waypoint (real data has such pairs)
            for _ in range(40):
                j = rng.randrange(idx)
                nm = self.wnames[j]
                if self.names.used.get(nm, 0) == 1 and \
                        haversine(lat, lon, self.lats[j], self.lons[j]) >= self.cfg["dup_km"]:
                    name = nm
                    self.names.used[nm] = 2
                    self.dups += 1
                    self.n_committed_since_dup = 0
                    break
        if name is None:
            name = self.names.new3() if rng.random() < self.cfg["navaid_p"] else self.names.new5()
        self.wnames.append(name)
        reg = self.region_of(lat, lon)
        self.wregion.append(reg)
        if reg >= 0:
            self.region_wps[reg].append(idx)
        self.grid.add(idx)
        return idx

    def _new_route_id(self, region):
        rng = self.rng_net
        prefs = region.awy if region is not None and region.awy else AWY_ALL
        for attempt in range(400):
            p = rng.choice(prefs if attempt < 40 else AWY_ALL)
            n = rng.randint(1, 99) if rng.random() < 0.35 else rng.randint(100, 999)
            rid = "%s%d" % (p, n)
            if rid not in self.route_ids:
                self.route_ids[rid] = 1
                return rid
        raise RuntimeError("airway designators exhausted")

    def _add_airway(self, chain, region, connector=False, max_seg_pts=40):
        """chain: list of committed waypoint indices. Splits into segments."""
        rng = self.rng_net
        n = len(chain)
        segs = []
        if connector:
            # long trunk chains: consecutive airways of at most max_seg_pts
            # points sharing their end waypoints; a long one in two segments
            nlegs = n - 1
            k = max(1, -(-nlegs // (max_seg_pts - 1)))
            pieces = []
            i = 0
            for p in range(k):
                j = i + nlegs // k + (1 if p < nlegs % k else 0)
                pieces.append(chain[i:j + 1])
                i = j
            for p in pieces:
                if len(p) >= 20 and rng.random() < 0.5:
                    c = len(p) // 2
                    segs = [p[:c + 1], p[c:]]
                else:
                    segs = [p]
                self.airways.append(dict(route=self._new_route_id(None),
                                         segments=segs, connector=True))
                self.rows += sum(len(x) for x in segs)
            return
        if n >= 8 and rng.random() < self.cfg["split_p"]:
            nseg = 2 if (n < 14 or rng.random() < 0.7) else 3
            cuts = sorted(rng.sample(range(3, n - 3), nseg - 1)) if n - 6 >= nseg - 1 else [n // 2]
            # keep segments at least 3 points long
            fixed = []
            last = 0
            for c in cuts:
                if c - last >= 2 and n - 1 - c >= 2:
                    fixed.append(c)
                    last = c
            prev = 0
            for c in fixed:
                segs.append(chain[prev:c + 1])
                prev = c
            segs.append(chain[prev:])
        else:
            segs.append(list(chain))
        self.airways.append(dict(route=self._new_route_id(region), segments=segs,
                                 connector=False))
        self.rows += sum(len(s) for s in segs)

    # -- network ------------------------------------------------------------
    def _walk(self, lat, lon, heading, steps, base_leg, used, pending, pend_pos):
        rng = self.rng_net
        lats, lons = self.lats, self.lons
        pts = []
        cur_lat, cur_lon = lat, lon
        h = heading
        for _ in range(steps):
            leg = base_leg * rng.uniform(0.7, 1.3)
            leg = min(MAX_LEG_KM - 5.0, max(MIN_LEG_KM + 2.0, leg))
            plat, plon = dest(cur_lat, cur_lon, h, leg)
            if not self.in_mask(plat, plon):
                break
            r = max(MIN_SEP_KM, min(25.0, 0.25 * leg))
            best_d = None
            best_i = -1
            blocked = False
            for d, i in self.grid.query(plat, plon, r):
                if i in used:
                    if d < MIN_SEP_KM:
                        blocked = True
                    continue
                dl = approx_dist(cur_lat, cur_lon, lats[i], lons[i])
                if dl < MIN_LEG_KM or dl > MAX_LEG_KM:
                    if d < MIN_SEP_KM:
                        blocked = True
                    continue
                if best_d is None or d < best_d:
                    best_d = d
                    best_i = i
            if best_i >= 0:
                used.add(best_i)
                pts.append(best_i)
                nlat, nlon = lats[best_i], lons[best_i]
            else:
                if blocked:
                    break
                for (qa, qo) in pend_pos:
                    if approx_dist(plat, plon, qa, qo) < MIN_SEP_KM * 2:
                        blocked = True
                        break
                if blocked:
                    break
                nlat = rround(rng, plat)
                nlon = rround(rng, plon)
                pend_pos.append((nlat, nlon))
                pending.append(len(pend_pos) - 1)
                pts.append(-len(pend_pos))  # negative: pending point
            h = (final_bearing(cur_lat, cur_lon, plat, plon) + rng.gauss(0.0, 2.5)) % 360.0
            cur_lat, cur_lon = nlat, nlon
        return pts

    def _fill_airway(self):
        rng = self.rng_net
        regs = self.regions
        reg_i = rng.choices(range(len(regs)), weights=[r.w_air for r in regs])[0]
        reg = regs[reg_i]
        plat, plon = reg.random_point(rng)
        lst = self.region_wps[reg_i]
        if not lst:
            lst = range(len(self.lats))
        best = None
        for _ in range(6):
            i = lst[rng.randrange(len(lst))]
            d = approx_dist(self.lats[i], self.lons[i], plat, plon)
            if best is None or d < best[0]:
                best = (d, i)
        start = best[1]
        slat, slon = self.lats[start], self.lons[start]
        if best[0] > 30.0 and rng.random() > 0.25:
            heading = bearing(slat, slon, plat, plon)
        else:
            heading = rng.uniform(0.0, 360.0)
        n_total = int(round(rng.triangular(5, 40, 14)))
        n_total = max(5, min(40, n_total))
        nf = int((n_total - 1) * rng.uniform(0.35, 1.0))
        nb = n_total - 1 - nf
        base_leg = reg.leg * math.exp(rng.gauss(0.0, 0.3))
        base_leg = min(220.0, max(35.0, base_leg))
        used = {start}
        pend_pos = []
        pending = []
        fwd = self._walk(slat, slon, heading, nf, base_leg, used, pending, pend_pos)
        back = self._walk(slat, slon, (heading + 180.0) % 360.0, nb, base_leg, used,
                          pending, pend_pos)
        chain = list(reversed(back)) + [start] + fwd
        if len(chain) < 5:
            return False
        if rng.random() < 0.5:
            chain.reverse()
        new_idx = {}
        out = []
        for p in chain:
            if p < 0:
                k = -p - 1
                if k not in new_idx:
                    new_idx[k] = self._commit_wp(*pend_pos[k])
                out.append(new_idx[k])
            else:
                out.append(p)
        self._add_airway(out, reg)
        return True

    def _connector(self, a, b):
        """Great-circle trunk route between two region seeds."""
        la, oa = a.seed
        lb, ob = b.seed
        d = haversine(la, oa, lb, ob)
        n = max(1, int(math.ceil(d / 215.0)))
        chain = []
        for k in range(n + 1):
            lat, lon = gc_interp(la, oa, lb, ob, k / float(n))
            near = self.grid.query(lat, lon, MIN_SEP_KM * 2)
            if near:
                idx = min(near)[1]
                if chain and idx == chain[-1]:
                    continue
                chain.append(idx)
            else:
                chain.append(self._commit_wp(rround(self.rng_net, lat),
                                             rround(self.rng_net, lon)))
        self._add_airway(chain, None, connector=True)

    def build_network(self):
        rng = self.rng_net
        target = self.cfg["rows"]
        if target is None:
            target = 330000 + rng.randint(0, 20000)
        elif self.size == "tiny":
            target = target + rng.randint(-10, 10)
        else:
            target = target + rng.randint(-300, 300)
        for reg in self.regions:
            reg.seed = (rround(rng, reg.seed[0] + rng.uniform(-0.4, 0.4)),
                        rround(rng, reg.seed[1] + rng.uniform(-0.4, 0.4)))
            self._commit_wp(reg.seed[0], reg.seed[1])
        if len(self.regions) > 1:
            by_name = {r.name: r for r in self.regions}
            for a, b in WORLD_LINKS:
                self._connector(by_name[a], by_name[b])
        attempts = 0
        while self.rows < target:
            attempts += 1
            if attempts > target * 2:
                break
            self._fill_airway()
        self._assign_directions()

    def _assign_directions(self):
        rng = self.rng_net
        segs = []
        for aw in self.airways:
            for si, s in enumerate(aw["segments"]):
                aw.setdefault("dirs", []).append(None if rng.random() < 0.65 else "")
                if not aw["connector"]:
                    segs.append((aw, si, len(s)))
        order = list(range(len(segs)))
        rng.shuffle(order)
        total = self.rows
        f_target = 0.05 * total
        b_target = 0.02 * total
        f_rows = b_rows = 0
        for k in order:
            aw, si, n = segs[k]
            if f_rows < f_target and (f_rows + n <= f_target * 1.4 or f_rows == 0):
                aw["dirs"][si] = "F"
                f_rows += n
            elif f_rows >= f_target and b_rows < b_target and \
                    (b_rows + n <= b_target * 1.5 or b_rows == 0):
                aw["dirs"][si] = "B"
                b_rows += n
            if f_rows >= f_target and b_rows >= b_target:
                break

    def airway_rows(self):
        """Rows of airway_segments in write order."""
        rows = []
        uid = 0
        lats, lons, names = self.lats, self.lons, self.wnames
        for aw in self.airways:
            seq = 0
            for si, s in enumerate(aw["segments"]):
                uid += 1
                dr = aw["dirs"][si]
                for i in s:
                    seq += 10
                    rows.append((aw["route"], names[i], lats[i], lons[i], seq, dr, uid))
        return rows

    # -- airports -------------------------------------------------------------
    def _rings(self, lat, lon):
        sid_c = []
        star_c = []
        for _, i in self.grid.query(lat, lon, 205.0):
            d = haversine(lat, lon, self.lats[i], self.lons[i])
            if 22.0 <= d <= 118.0:
                sid_c.append((bearing(lat, lon, self.lats[i], self.lons[i]), d, i))
            if 62.0 <= d <= 198.0:
                star_c.append((bearing(lat, lon, self.lats[i], self.lons[i]), d, i))
        sid_c.sort()
        star_c.sort()
        return sid_c, star_c

    def _site_ok(self, lat, lon, cls, apt_grid, apt_lats, apt_lons, relax):
        if not self.in_mask(lat, lon):
            return None
        for d, j in apt_grid.query(lat, lon, 300.0 if cls == "hub" else 30.0):
            if d < 30.0:
                return None
            if cls == "hub" and self.airports[j]["cls"] == "hub":
                return None  # hubs keep 300 km apart
        # not on top of an airway waypoint
        if self.grid.query(lat, lon, 3.0):
            return None
        sid_c, star_c = self._rings(lat, lon)
        rs, rt = CLASSES[cls]["req"]
        if relax:
            rs, rt = max(1, rs // (2 * relax)), max(1, rt // (2 * relax))
        if relax >= 3:
            rs, rt = 0, 0
        if len(sid_c) < rs or len(star_c) < rt:
            return None
        return sid_c, star_c

    def _place(self, cls, reg_i, apt_grid, apt_lats, apt_lons, site=None):
        rng = self.rng_apt
        for attempt in range(800):
            relax = attempt // 200
            if site is not None:
                p = site(attempt)
                if p is None:
                    continue
                lat, lon = p
            else:
                lst = self.region_wps[reg_i]
                w = lst[rng.randrange(len(lst))]
                lat, lon = dest(self.lats[w], self.lons[w], rng.uniform(0, 360),
                                rng.uniform(5.0, 40.0))
            res = self._site_ok(lat, lon, cls, apt_grid, apt_lats, apt_lons, relax)
            if res is None:
                continue
            apt = dict(cls=cls, lat=rround(rng, lat), lon=rround(rng, lon),
                       sid_c=res[0], star_c=res[1], procs=True, null_ref=False, region=reg_i)
            idx = len(self.airports)
            self.airports.append(apt)
            apt_lats.append(apt["lat"])
            apt_lons.append(apt["lon"])
            apt_grid.add(idx)
            return apt
        return None

    def place_airports(self):
        rng = self.rng_apt
        n_apt = self.cfg["airports"]
        apt_lats, apt_lons = [], []
        apt_grid = Grid(apt_lats, apt_lons, 0.5)
        regs = self.regions
        self.pair = None
        if self.size in ("tiny", "demo"):
            reg = regs[0]
            lo, hi = (250.0, 700.0) if self.size == "tiny" else (900.0, 1800.0)
            margin = 1.0 if self.size == "tiny" else 3.0
            a = self._place("medium" if self.size == "tiny" else "major", 0, apt_grid,
                            apt_lats, apt_lons,
                            site=lambda k: reg.random_point(rng, margin))
            def site_b(k):
                lat, lon = dest(a["lat"], a["lon"], rng.uniform(0, 360), rng.uniform(lo, hi))
                if not reg.contains(lat, lon):
                    return None
                return lat, lon
            b = self._place(a["cls"], 0, apt_grid, apt_lats, apt_lons, site=site_b)
            self.pair = (a, b)
            rest = n_apt - 2
            if self.size == "tiny":
                c = self._place("small", 0, apt_grid, apt_lats, apt_lons)
                if c is not None:
                    c["procs"] = False
                d = self._place("small", 0, apt_grid, apt_lats, apt_lons)
                if d is not None:
                    d["null_ref"] = True
            else:
                classes = ["medium"] * 7 + ["small"] * (rest - 7)
                placed = []
                for cls in classes:
                    placed.append(self._place(cls, 0, apt_grid, apt_lats, apt_lons))
                placed = [p for p in placed if p is not None]
                smalls = [p for p in placed if p["cls"] == "small"]
                for p in rng.sample(smalls, 2):
                    p["procs"] = False
                cand = [p for p in smalls if p["procs"]]
                rng.choice(cand)["null_ref"] = True
        else:
            # hubs first, in the busy regions
            for ri, reg in enumerate(regs):
                for _ in range(reg.hubs):
                    self._place("hub", ri, apt_grid, apt_lats, apt_lons)
            n_hub = len(self.airports)
            rest = n_apt - n_hub
            classes = ["major"] * 80 + ["medium"] * 420
            classes += ["small"] * (rest - len(classes))
            wts = [r.w_apt for r in regs]
            placed = []
            for cls in classes:
                ri = rng.choices(range(len(regs)), weights=wts)[0]
                p = self._place(cls, ri, apt_grid, apt_lats, apt_lons)
                if p is not None:
                    placed.append(p)
            lowcls = [p for p in placed if p["cls"] in ("small", "medium")]
            for p in rng.sample(lowcls, int(round(0.05 * len(self.airports)))):
                p["procs"] = False
            cand = [p for p in placed if p["procs"]]
            for p in rng.sample(cand, max(3, len(self.airports) // 100)):
                p["null_ref"] = True
        self._name_airports()

    def _name_airports(self):
        rng = self.rng_apt
        used = {}
        for apt in self.airports:
            best = None
            for pre, plat, plon in ICAO_PREFIX:
                d = approx_dist(apt["lat"], apt["lon"], plat, plon)
                if best is None or d < best[0]:
                    best = (d, pre)
            pre = best[1]
            code = None
            for attempt in range(200):
                p = pre if attempt < 120 else rng.choice(LETTERS)
                c = p + "".join(rng.choice(LETTERS) for _ in range(4 - len(p)))
                if c not in used:
                    code = c
                    break
            used[code] = 1
            apt["icao"] = code
            nsyl = rng.choice((2, 2, 3))
            city = "".join(rng.choice(CITY_SYL) for _ in range(nsyl))
            suf = rng.choice(APT_SUFFIX)
            if suf == "CITY":
                apt["name"] = "%s/%s" % (city, "".join(rng.choice(CITY_SYL) for _ in range(2)))
            else:
                apt["name"] = ("%s %s" % (city, suf)).strip()
        self.airports.sort(key=lambda a: a["icao"])

    # -- runways ----------------------------------------------------------------
    def build_runways(self, apt):
        rng = self.rng_apt
        cls = CLASSES[apt["cls"]]
        layout = list(rng.choice(cls["layouts"]))
        groups = []
        for m in layout:
            for _ in range(100):
                b = rng.uniform(0.0, 180.0)
                ok = True
                for g in groups:
                    d = abs(((b - g) + 90.0) % 180.0 - 90.0)
                    if d < 30.0:
                        ok = False
                        break
                if ok:
                    groups.append(b)
                    break
        runways = []  # physical runways
        ends = []
        for gi, (m, beta) in enumerate(zip(layout, groups)):
            beta = round(beta, 1)
            gc_lat, gc_lon = dest(apt["lat"], apt["lon"], rng.uniform(0, 360),
                                  rng.uniform(0.0, 1.2 if gi == 0 else 2.2))
            s = rng.uniform(1.0, 1.6)
            offsets = {1: [0.0], 2: [-s / 2, s / 2], 3: [-s, 0.0, s]}[m]
            big = apt["cls"] in ("hub", "major")
            for k, off in enumerate(offsets):
                clat, clon = dest(gc_lat, gc_lon, beta + 90.0, off) if off else (gc_lat, gc_lon)
                stag = rng.uniform(-0.5, 0.5)
                if stag:
                    clat, clon = dest(clat, clon, beta, stag)
                length = rng.uniform(2.6, 4.0) if big else rng.uniform(2.0, 3.2)
                t1 = dest(clat, clon, beta + 180.0, length / 2)
                t2 = dest(clat, clon, beta, length / 2)
                t1 = (rround(rng, t1[0]), rround(rng, t1[1]))
                t2 = (rround(rng, t2[0]), rround(rng, t2[1]))
                if m == 1:
                    suf1 = suf2 = ""
                elif m == 2:
                    suf1 = "LR"[k]
                    suf2 = "RL"[k]
                else:
                    suf1 = "LCR"[k]
                    suf2 = "RCL"[k]
                b1 = beta
                b2 = round((beta + 180.0) % 360.0, 1)
                e1 = dict(num=rwy_num(b1), suffix=suf1, bearing=b1, thr=t1, far=t2)
                e2 = dict(num=rwy_num(b2), suffix=suf2, bearing=b2, thr=t2, far=t1)
                for e in (e1, e2):
                    e["desig"] = "%02d%s" % (e["num"], e["suffix"])
                    e["rw"] = "RW" + e["desig"]
                ends.append(e1)
                ends.append(e2)
                runways.append((e1, e2))
        ends.sort(key=lambda e: e["desig"])
        apt["ends"] = ends

    # -- procedures ---------------------------------------------------------------
    def _fix(self, lat, lon):
        rng = self.rng_apt
        return (self.names.new5(), rround(rng, lat), rround(rng, lon))

    def _wfix(self, i):
        return (self.wnames[i], self.lats[i], self.lons[i])

    def _between(self, a, b, k, jitter=2.0):
        """k intermediate fixes between fix a and fix b."""
        rng = self.rng_apt
        out = []
        for j in range(1, k + 1):
            f = j / float(k + 1) + rng.uniform(-0.06, 0.06)
            lat = a[1] + f * (b[1] - a[1])
            lon = norm_lon(a[2] + f * dlon_deg(a[2], b[2]))
            brg = bearing(a[1], a[2], b[1], b[2])
            off = rng.gauss(0.0, jitter)
            if off:
                lat, lon = dest(lat, lon, brg + 90.0, off)
            out.append(self._fix(lat, lon))
        return out

    def build_approaches(self, apt, rows):
        rng = self.rng_apt
        cls = CLASSES[apt["cls"]]
        lo, hi = cls["appr"]
        ref = (apt["lat"], apt["lon"])
        icao = apt["icao"]
        ends = apt["ends"]
        counts = []
        for e in ends:
            counts.append(rng.randint(lo, hi))
        if sum(counts) == 0:
            counts[rng.randrange(len(counts))] = 1
        if apt["cls"] == "hub":
            while sum(counts) > 25:
                k = max(range(len(counts)), key=lambda i: counts[i])
                counts[k] -= 1
        used_ids = {}
        apt["targets"] = {}
        split_left = apt.get("force_split", 0)
        for e, n in zip(ends, counts):
            if n == 0:
                continue
            b = e["bearing"]
            back = (b + 180.0) % 360.0
            thr = e["thr"]
            rwfix = (e["rw"], thr[0], thr[1])
            shared_if = None
            shared_iafs = None
            targets = []
            prefixes = []
            first = "I" if rng.random() < 0.75 else rng.choice("RD")
            prefixes.append(first)
            pool = ["R", "D", "R", "L", "N", "V"]
            while len(prefixes) < n:
                p = rng.choice(pool)
                if p in prefixes and p != "R":
                    continue
                if prefixes.count("R") >= 2 and p == "R":
                    continue
                prefixes.append(p)
            n_r = prefixes.count("R")
            r_seen = 0
            for p in prefixes:
                pid = p + e["desig"]
                if p == "R":
                    r_seen += 1
                    if n_r == 2:
                        pid += "Y" if r_seen == 1 else "Z"
                    elif rng.random() < 0.1:
                        pid += "Z"
                if pid in used_ids:
                    continue
                used_ids[pid] = 1
                route_type = p
                split = False
                if split_left > 0 and p != "I":
                    split = True
                    split_left -= 1
                elif rng.random() < 0.03:
                    split = True
                # main route fixes (IF and FAF shared between approaches of the end)
                if shared_if is not None and rng.random() < 0.6:
                    f_if, f_faf = shared_if
                else:
                    dist_if = rng.uniform(16.0, 21.0)
                    lat, lon = dest(thr[0], thr[1], back, dist_if)
                    dref = haversine(ref[0], ref[1], lat, lon)
                    if dref < 15.8:
                        lat, lon = dest(thr[0], thr[1], back, dist_if + (15.8 - dref) + 0.6)
                    f_if = self._fix(lat, lon)
                    f_faf = self._fix(*dest(thr[0], thr[1], back, rng.uniform(8.0, 11.0)))
                    if shared_if is None:
                        shared_if = (f_if, f_faf)
                f_map = self._fix(*dest(thr[0], thr[1], back, rng.uniform(0.6, 1.8)))
                main_tid = None if rng.random() < 0.5 else ""
                if split:
                    f_iaf = self._iaf(ref, thr, back, rng.choice((-1, 1)))
                    for seq, fx in ((10, f_iaf), (20, f_if), (30, f_faf)):
                        rows.append((icao, pid, main_tid, seq, fx[0], fx[1], fx[2], route_type))
                    for seq, fx in ((10, f_map), (20, rwfix)):
                        rows.append((icao, pid, main_tid, seq, fx[0], fx[1], fx[2], route_type))
                    add_target(targets, f_iaf)
                    continue
                # approach transitions
                if shared_iafs is not None and rng.random() < 0.5:
                    iafs = shared_iafs
                else:
                    r = rng.random()
                    ntr = 0 if r < 0.15 else (1 if r < 0.45 else (2 if r < 0.85 else 3))
                    if apt["cls"] == "hub" and ntr == 0:
                        ntr = 2
                    sides = [(-1, 1), (1, -1)][rng.randrange(2)]
                    sides = list(sides) + [0]
                    iafs = []
                    for k in range(ntr):
                        f_iaf = self._iaf(ref, thr, back, sides[k])
                        mid = None
                        if rng.random() < 0.3:
                            mid = self._between(f_iaf, f_if, 1, 1.0)[0]
                        iafs.append((f_iaf, mid))
                    if shared_iafs is None:
                        shared_iafs = iafs
                for f_iaf, mid in iafs:
                    pts = [f_iaf] + ([mid] if mid else []) + [f_if]
                    for k, fx in enumerate(pts):
                        rows.append((icao, pid, f_iaf[0], 10 * (k + 1), fx[0], fx[1], fx[2], "A"))
                    add_target(targets, f_iaf)
                for seq, fx in ((10, f_if), (20, f_faf), (30, f_map), (40, rwfix)):
                    rows.append((icao, pid, main_tid, seq, fx[0], fx[1], fx[2], route_type))
                add_target(targets, f_if)
            if targets:
                apt["targets"][e["desig"]] = targets

    def _iaf(self, ref, thr, back, side):
        rng = self.rng_apt
        for _ in range(20):
            if side == 0:
                lat, lon = dest(thr[0], thr[1], back + rng.uniform(-8, 8), rng.uniform(27.0, 32.0))
            else:
                lat, lon = dest(ref[0], ref[1], back + side * rng.uniform(35.0, 100.0),
                                rng.uniform(22.0, 32.0))
            d = haversine(ref[0], ref[1], lat, lon)
            if 16.0 <= d <= 34.0:
                break
        return self._fix(lat, lon)

    def _pick_spread(self, cands, n):
        """n candidates spread over bearings (cands sorted by bearing)."""
        rng = self.rng_apt
        if n >= len(cands):
            out = list(cands)
            rng.shuffle(out)
            return out
        step = len(cands) / float(n)
        off = rng.uniform(0, step)
        out = [cands[int(off + k * step) % len(cands)] for k in range(n)]
        rng.shuffle(out)
        return out

    def _groups(self, ends):
        """Runway direction groups: number -> [ends] (parallels together)."""
        groups = {}
        order = []
        for e in ends:
            if e["num"] not in groups:
                groups[e["num"]] = []
                order.append(e["num"])
            groups[e["num"]].append(e)
        return order, groups

    def _proc_name(self, used, base, digit, letter_pref):
        for k in range(26 * 9):
            letter = LETTERS[(LETTERS.index(letter_pref) + k) % 26]
            d = digit if k < 26 else ((digit + k // 26 - 1) % 9) + 1
            nm = "%s%d%s" % (base, d, letter)
            if nm not in used:
                used[nm] = 1
                return nm
        return None

    def build_sids(self, apt, rows):
        rng = self.rng_apt
        cls = CLASSES[apt["cls"]]
        icao = apt["icao"]
        ref = (apt["lat"], apt["lon"])
        cands = apt["sid_c"]
        if not cands:
            return
        n_sid = rng.randint(*cls["sids"])
        n_exit = min(len(cands), max(1, int(round(n_sid * rng.uniform(0.45, 0.8)))))
        exits = self._pick_spread(cands, n_exit)
        order, groups = self._groups(apt["ends"])
        letters = {}
        for k, num in enumerate(order):
            letters[num] = LETTERS[k % 26]
        all_letter = LETTERS[len(order) % 26]
        digits = {}
        used = {}
        dep_fix = {}
        apt["sid_exits"] = []
        made = 0
        jobs = 0
        while made < n_sid and jobs < n_sid * 4:
            ex = exits[jobs % len(exits)]
            jobs += 1
            theta, d_exit, wi = ex
            efix = self._wfix(wi)
            r = rng.random()
            if r < 0.6 or len(order) == 1:
                num = order[rng.randrange(len(order))] if jobs > len(exits) else \
                    min(order, key=lambda n: abs(angle_diff(groups[n][0]["bearing"], theta)))
                sel = groups[num]
                letter = letters[num]
            elif r < 0.85:
                sel = list(apt["ends"])
                letter = all_letter
            else:
                num = order[rng.randrange(len(order))]
                b0 = groups[num][0]["bearing"]
                sel = [e for e in apt["ends"] if abs(angle_diff(e["bearing"], b0)) <= 60.0]
                letter = letters[num]
            digit = digits.setdefault(wi, rng.randint(1, 9))
            # shape: 1 = ALL to exit, 2 = en-route transition named after exit,
            # 3 = ALL then several en-route transitions
            shape = 1
            rs = rng.random()
            extra = []
            if rs < 0.13:
                extra = [c for c in cands if c[2] != wi and c[1] >= 45.0 and
                         abs(angle_diff(c[0], theta)) <= 50.0]
                if len(extra) >= 1 and d_exit >= 45.0:
                    shape = 3
                    extra = rng.sample(extra, min(len(extra), rng.randint(1, 2)))
            elif rs < 0.35:
                shape = 2
            j_dist = max(9.0, min(d_exit * 0.45, 30.0)) if shape != 3 else rng.uniform(10.0, 14.0)
            jlat, jlon = dest(ref[0], ref[1], theta + rng.uniform(-15, 15), j_dist)
            jfix = self._fix(jlat, jlon)
            base = jfix[0] if shape == 3 else efix[0]
            name = self._proc_name(used, base, digit, letter)
            if name is None:
                continue
            made += 1
            # Every third SID numbers each transition from 10 as real data does; the
            # others keep counting across transitions in flying order.
            restart = made % 3 == 1
            # runway transitions
            rw_max = 0
            for e in sorted(sel, key=lambda e: e["desig"]):
                b = e["bearing"]
                far = e["far"]
                if rng.random() < 0.7:
                    p1 = dep_fix.get(e["desig"])
                    if p1 is None:
                        p1 = self._fix(*dest(far[0], far[1], b, rng.uniform(2.5, 6.0)))
                        dep_fix[e["desig"]] = p1
                else:
                    p1 = self._fix(*dest(far[0], far[1], b, rng.uniform(2.5, 6.0)))
                pts = [p1]
                turn = angle_diff(b, bearing(p1[1], p1[2], jfix[1], jfix[2]))
                if abs(turn) > 50.0:
                    sgn = 1.0 if turn > 0 else -1.0
                    pts.append(self._fix(*dest(p1[1], p1[2], b + sgn * rng.uniform(30, 60),
                                               rng.uniform(5.0, 9.0))))
                if rng.random() < 0.25:
                    pts += self._between(pts[-1], jfix, 1, 1.0)
                pts.append(jfix)
                for k, fx in enumerate(pts):
                    rows.append((icao, name, e["rw"], 10 * (k + 1), fx[0], fx[1], fx[2], "1"))
                rw_max = max(rw_max, len(pts))
            seq = 0 if restart else rw_max * 10
            if shape == 3:
                kfix = self._fix(*dest(ref[0], ref[1], theta + rng.uniform(-10, 10),
                                       rng.uniform(24.0, 32.0)))
                common = ([jfix] if rng.random() < 0.8 else []) + [kfix]
                for fx in common:
                    seq += 10
                    rows.append((icao, name, "ALL", seq, fx[0], fx[1], fx[2], "2"))
                base_seq = 0 if restart else seq
                for c in [ex] + extra:
                    xf = self._wfix(c[2])
                    mids = self._between(kfix, xf, 1 if c[1] > 60 else 0)
                    seq = base_seq
                    for fx in [kfix] + mids + [xf]:
                        seq += 10
                        rows.append((icao, name, xf[0], seq, fx[0], fx[1], fx[2], "3"))
                    apt["sid_exits"].append(c[2])
            else:
                dj = haversine(jfix[1], jfix[2], efix[1], efix[2])
                k = 0 if dj < 35.0 else min(2, int(dj / 35.0))
                mids = self._between(jfix, efix, k)
                common = ([jfix] if rng.random() < 0.8 else []) + mids + [efix]
                tid = "ALL" if shape == 1 else efix[0]
                rt = "2" if shape == 1 else "3"
                for fx in common:
                    seq += 10
                    rows.append((icao, name, tid, seq, fx[0], fx[1], fx[2], rt))
                apt["sid_exits"].append(wi)

    def build_stars(self, apt, rows):
        rng = self.rng_apt
        cls = CLASSES[apt["cls"]]
        icao = apt["icao"]
        ref = (apt["lat"], apt["lon"])
        cands = apt["star_c"]
        targets = apt.get("targets", {})
        arr_ends = [e for e in apt["ends"] if e["desig"] in targets]
        if not cands or not arr_ends:
            return
        n_star = rng.randint(*cls["stars"])
        n_ent = min(len(cands), max(1, int(round(n_star * rng.uniform(0.5, 0.85)))))
        entries = self._pick_spread(cands, n_ent)
        order, groups = self._groups(arr_ends)
        letters = {}
        for k, num in enumerate(order):
            letters[num] = LETTERS[k % 26]
        all_letter = LETTERS[len(order) % 26]
        digits = {}
        used = {}
        apt["star_entries"] = []
        made = 0
        jobs = 0
        while made < n_star and jobs < n_star * 4:
            ent = entries[jobs % len(entries)]
            jobs += 1
            phi, d_ent, wi = ent
            efix = self._wfix(wi)
            r = rng.random()
            if r < 0.55:
                num = order[rng.randrange(len(order))]
                sel = groups[num]
                letter = letters[num]
                rw_trans = len(sel) > 1 or rng.random() < 0.6
            elif r < 0.85:
                sel = list(arr_ends)
                letter = all_letter
                rw_trans = True
            else:
                num = order[rng.randrange(len(order))]
                sel = [groups[num][rng.randrange(len(groups[num]))]]
                letter = letters[num]
                rw_trans = False
            digit = digits.setdefault(wi, rng.randint(1, 9))
            # optional en-route transitions converging on a junction fix
            enr = []
            if rng.random() < 0.22:
                others = [c for c in cands if c[2] != wi and abs(angle_diff(c[0], phi)) <= 45.0]
                enr = [ent] + rng.sample(others, min(len(others), rng.randint(0, 2)))
            if enr:
                dmin = min(c[1] for c in enr)
                jd = max(45.0, min(60.0, dmin - 15.0))
                jfix = self._fix(*dest(ref[0], ref[1], phi + rng.uniform(-5, 5), jd))
                base = jfix[0]
                start = jfix
            else:
                base = efix[0]
                start = efix
            name = self._proc_name(used, base, digit, letter)
            if name is None:
                continue
            made += 1
            # As for SIDs: every third STAR numbers each transition from 10.
            restart = made % 3 == 1
            seq = 0
            if enr:
                mx = 0
                for c in enr:
                    xf = self._wfix(c[2])
                    dj = haversine(xf[1], xf[2], jfix[1], jfix[2])
                    mids = self._between(xf, jfix, 0 if dj < 40.0 else min(2, int(dj / 45.0)))
                    pts = [xf] + mids + [jfix]
                    for k, fx in enumerate(pts):
                        rows.append((icao, name, xf[0], 10 * (k + 1), fx[0], fx[1], fx[2], "1"))
                    mx = max(mx, len(pts))
                    apt["star_entries"].append(c[2])
                seq = 0 if restart else mx * 10
            else:
                apt["star_entries"].append(wi)
            s_brg = bearing(ref[0], ref[1], start[1], start[2])
            if rw_trans:
                cfix = self._fix(*dest(ref[0], ref[1], s_brg + rng.uniform(-10, 10),
                                       rng.uniform(35.0, 45.0)))
                end_fix = cfix
            else:
                e = sel[0]
                end_fix = min(targets[e["desig"]],
                              key=lambda t: abs(angle_diff(
                                  s_brg, bearing(ref[0], ref[1], t[1], t[2]))))
            ds = haversine(start[1], start[2], end_fix[1], end_fix[2])
            mids = self._between(start, end_fix, 0 if ds < 35.0 else min(3, int(ds / 40.0)), 3.0)
            for fx in [start] + mids + [end_fix]:
                seq += 10
                rows.append((icao, name, "ALL", seq, fx[0], fx[1], fx[2], "2"))
            if rw_trans:
                base_seq = 0 if restart else seq
                for e in sorted(sel, key=lambda e: e["desig"]):
                    cbrg = bearing(ref[0], ref[1], cfix[1], cfix[2])
                    t = min(targets[e["desig"]],
                            key=lambda t: abs(angle_diff(
                                cbrg, bearing(ref[0], ref[1], t[1], t[2]))))
                    pts = [cfix] if rng.random() < 0.8 else []
                    if rng.random() < 0.3:
                        pts += self._between(cfix, t, 1, 2.0)
                    pts.append(t)
                    seq = base_seq
                    for fx in pts:
                        seq += 10
                        rows.append((icao, name, e["rw"], seq, fx[0], fx[1], fx[2], "3"))

    # -- connectivity -------------------------------------------------------------
    def _adjacency(self, directed):
        adj = [[] for _ in range(len(self.lats))]
        for aw in self.airways:
            for si, s in enumerate(aw["segments"]):
                dr = aw["dirs"][si]
                for a, b in zip(s, s[1:]):
                    if a == b:
                        continue
                    if not directed or dr != "B":
                        adj[a].append(b)
                    if not directed or dr != "F":
                        adj[b].append(a)
        return adj

    @staticmethod
    def _reach(adj, sources, goals):
        goal = set(goals)
        seen = bytearray(len(adj))
        stack = []
        for s in sources:
            if not seen[s]:
                seen[s] = 1
                stack.append(s)
        while stack:
            u = stack.pop()
            if u in goal:
                return True
            for v in adj[u]:
                if not seen[v]:
                    seen[v] = 1
                    stack.append(v)
        return False

    def choose_pair(self):
        adj = self._adjacency(True)

        def ok(a, b):
            return bool(a.get("sid_exits")) and bool(b.get("star_entries")) and \
                b.get("iaps", 0) > 0 and a.get("iaps", 0) > 0 and \
                a.get("star_entries") and b.get("sid_exits") and \
                not a["null_ref"] and not b["null_ref"] and \
                self._reach(adj, a["sid_exits"], b["star_entries"])

        if self.pair is not None:
            a, b = self.pair
            if ok(a, b):
                return a, b
        lo, hi = (800.0, 2000.0)
        if self.size == "tiny":
            lo, hi = 100.0, 2000.0
        cand = [a for a in self.airports if a["procs"] and not a["null_ref"]]
        if self.size == "world":
            cand = [a for a in cand if a["cls"] == "hub"] or cand
        scored = []
        for a in cand:
            for b in cand:
                if a is b:
                    continue
                d = haversine(a["lat"], a["lon"], b["lat"], b["lon"])
                if lo <= d <= hi:
                    scored.append((-(a.get("n_sids", 0) * b.get("n_stars", 0)), a["icao"],
                                   b["icao"], a, b))
        scored.sort(key=lambda t: (t[0], t[1], t[2]))
        for _, _, _, a, b in scored[:200]:
            if ok(a, b):
                return a, b
        return (scored[0][3], scored[0][4]) if scored else (cand[0], cand[-1])

    # -- everything -----------------------------------------------------------------
    def build(self):
        self.build_network()
        self.place_airports()
        if self.pair is not None:
            # the arrival airport of the pair gets one approach in two pieces
            self.pair[1]["force_split"] = 1
        sid_rows, star_rows, iap_rows, rwy_rows, apt_rows = [], [], [], [], []
        for apt in self.airports:
            self.build_runways(apt)
            lat = None if apt["null_ref"] else apt["lat"]
            lon = None if apt["null_ref"] else apt["lon"]
            apt_rows.append((apt["icao"], apt["name"], lat, lon))
            for e in apt["ends"]:
                rwy_rows.append((apt["icao"], e["rw"], e["thr"][0], e["thr"][1], e["bearing"]))
            if not apt["procs"]:
                continue
            n0 = len(iap_rows)
            self.build_approaches(apt, iap_rows)
            apt["iaps"] = len(set(r[1] for r in iap_rows[n0:]))
            n0 = len(sid_rows)
            self.build_sids(apt, sid_rows)
            apt["n_sids"] = len(set(r[1] for r in sid_rows[n0:]))
            n0 = len(star_rows)
            self.build_stars(apt, star_rows)
            apt["n_stars"] = len(set(r[1] for r in star_rows[n0:]))
        a, b = self.choose_pair()
        self.demo_pair = (a["icao"], b["icao"])
        self.tables = dict(airports=apt_rows, tbl_runways=rwy_rows, tbl_sids=sid_rows,
                           tbl_stars=star_rows, tbl_iaps=iap_rows)


def add_target(targets, fx):
    for t in targets:
        if t[0] == fx[0]:
            return
    targets.append(fx)


def rwy_num(b):
    n = int(b / 10.0 + 0.5)
    if n == 0:
        n = 36
    if n > 36:
        n -= 36
    return n


# ---------------------------------------------------------------------------
# SQLite output
# ---------------------------------------------------------------------------

SCHEMA = """
CREATE TABLE airway_segments (route_identifier TEXT, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, seqno INTEGER,
    direction_restriction TEXT, segment_uid INTEGER);
CREATE TABLE tbl_enroute_airways (route_identifier TEXT, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, seqno INTEGER,
    direction_restriction TEXT);
CREATE TABLE airports (airport_identifier TEXT, airport_name TEXT,
    airport_ref_latitude REAL, airport_ref_longitude REAL);
CREATE TABLE tbl_runways (airport_identifier TEXT, runway_identifier TEXT,
    runway_latitude REAL, runway_longitude REAL, runway_magnetic_bearing REAL);
CREATE TABLE tbl_sids (airport_identifier TEXT, procedure_identifier TEXT,
    transition_identifier TEXT, seqno INTEGER, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, route_type TEXT);
CREATE TABLE tbl_stars (airport_identifier TEXT, procedure_identifier TEXT,
    transition_identifier TEXT, seqno INTEGER, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, route_type TEXT);
CREATE TABLE tbl_iaps (airport_identifier TEXT, procedure_identifier TEXT,
    transition_identifier TEXT, seqno INTEGER, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, route_type TEXT);
CREATE TABLE waypoints (waypoint_identifier TEXT, waypoint_latitude REAL,
    waypoint_longitude REAL, waypoint_type TEXT, icao_region TEXT);
"""

INDEXES = """
CREATE INDEX idx_airway_segments_uid_seq ON airway_segments (segment_uid, seqno);
CREATE INDEX idx_enroute_airways_route ON tbl_enroute_airways (route_identifier, seqno);
CREATE INDEX idx_airports_ident ON airports (airport_identifier);
CREATE INDEX idx_runways_apt ON tbl_runways (airport_identifier);
CREATE INDEX idx_sids_apt ON tbl_sids (airport_identifier);
CREATE INDEX idx_stars_apt ON tbl_stars (airport_identifier);
CREATE INDEX idx_iaps_apt ON tbl_iaps (airport_identifier);
CREATE INDEX idx_waypoints_ident ON waypoints (waypoint_identifier);
"""


def _write(path, gen):
    tmp = path + ".tmp"
    for p in (tmp, path):
        if os.path.exists(p):
            os.remove(p)
    d = os.path.dirname(os.path.abspath(path))
    os.makedirs(d, exist_ok=True)
    awy = gen.airway_rows()
    counts = {}
    con = sqlite3.connect(tmp, isolation_level=None)
    try:
        con.execute("PRAGMA journal_mode=OFF")
        con.execute("PRAGMA synchronous=OFF")
        con.execute("BEGIN")
        for stmt in SCHEMA.split(";"):
            if stmt.strip():
                con.execute(stmt)
        con.executemany("INSERT INTO airway_segments VALUES (?,?,?,?,?,?,?)", awy)
        con.executemany("INSERT INTO tbl_enroute_airways VALUES (?,?,?,?,?,?)",
                        (r[:6] for r in awy))
        counts["airway_segments"] = len(awy)
        counts["tbl_enroute_airways"] = len(awy)
        # The airway points typed as the importer types them: the three-letter
        # names stand for VORs, the others for fixes; no region, no data cycle.
        points = sorted({(r[1], r[2], r[3]) for r in awy})
        con.executemany("INSERT INTO waypoints VALUES (?,?,?,?,NULL)",
                        ((n, la, lo, "VOR" if len(n) == 3 else "FIX") for n, la, lo in points))
        counts["waypoints"] = len(points)
        for t in ("airports", "tbl_runways", "tbl_sids", "tbl_stars", "tbl_iaps"):
            rows = gen.tables[t]
            ph = ",".join("?" * len(rows[0])) if rows else None
            if rows:
                con.executemany("INSERT INTO %s VALUES (%s)" % (t, ph), rows)
            counts[t] = len(rows)
        for stmt in INDEXES.split(";"):
            if stmt.strip():
                con.execute(stmt)
        con.execute("COMMIT")
    except BaseException:
        con.close()
        if os.path.exists(tmp):
            os.remove(tmp)
        raise
    con.close()
    os.replace(tmp, path)
    return counts


def generate(path, size, seed=1):
    """Write a new navigation database to `path`; return a summary dict.

    Summary keys: path, size, seed, counts (rows per table, also copied to
    top-level keys named after the tables), demo_pair (dep_icao, arr_icao),
    airway_count, waypoint_count, elapsed_s.
    """
    t0 = time.time()
    gen = NavGen(size, int(seed))
    gen.build()
    counts = _write(str(path), gen)
    summary = dict(path=str(path), size=size, seed=int(seed), counts=counts,
                   demo_pair=gen.demo_pair, airway_count=len(gen.airways),
                   waypoint_count=len(gen.lats))
    summary.update(counts)
    summary["elapsed_s"] = round(time.time() - t0, 3)
    return summary


def main(argv=None):
    ap = argparse.ArgumentParser(description="Write a synthetic navigation database (SQLite).")
    ap.add_argument("--size", required=True, choices=sorted(SIZES))
    ap.add_argument("--out", required=True, help="output .sqlite/.db path (replaced)")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args(argv)
    s = generate(args.out, args.size, args.seed)
    parts = ["%s=%d" % (t, s["counts"][t]) for t in TABLES]
    line = "navdb %s seed=%d: %s" % (args.size, args.seed, " ".join(parts))
    if args.size == "demo":
        line += " demo_pair=%s-%s" % s["demo_pair"]
    line += " (%.2fs) -> %s" % (s["elapsed_s"], args.out)
    print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
