#!/usr/bin/env python3
"""Deterministic generator of synthetic navigation data in the X-Plane file formats.

Writes earth_fix.dat (1200), earth_nav.dat (1200), earth_awy.dat (1100), apt.dat
(1200) and CIFP/<airport>.dat into one folder, at the size of the whole world's data
(--size world: about 200,000 fixes, 120,000 airway lines, 35,000 airports, procedures
for 2,000 of them) or small (--size small). All data is invented; it only has the
shape of real data: airways as chains of nearby fixes (some one-way, some listed per
level, some shared by two airways), airports with one to three runways, metadata and
layout rows, and procedures with runway, common and en-route transitions and
approaches with a missed approach. Only the standard library is used.

Usage:
    python3 tools/gen_xplane.py --out DIR [--size world|small] [--seed N]

From Python:
    sys.path.insert(0, "<repo>/tools"); import gen_xplane
    summary = gen_xplane.generate(DIR, "world")   # counts per file
"""
import argparse
import math
import os
import random
import sys
import time

SIZES = {
    "world": dict(fixes=150_000, navaids=10_000, airways=11_600, airports=35_000, cifp=2_000),
    "small": dict(fixes=3_000, navaids=300, airways=180, airports=400, cifp=20),
}
LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
CELL = 1.0  # degrees of the fix grid
HEADER = "{version} Version - synthetic data written by gen_xplane.py (seed {seed}), not for navigation."
LEG_TAIL = (", , , , , ,      ,    ,    ,    ,    , ,     ,     ,     , ,   ,    ,   , , , , , , "
            ", , ;")


def name(index, length, alphabet=LETTERS):
    """A distinct name for every index below len(alphabet) ** length."""
    out = []
    for _ in range(length):
        index, digit = divmod(index, len(alphabet))
        out.append(alphabet[digit])
    return "".join(reversed(out))


def region_of(lat, lon):
    return LETTERS[int(lat + 90) // 7 % 26] + str(int(lon + 180) // 36)


def random_position(rng):
    """Uniform on the sphere between 55 S and 70 N."""
    s0, s1 = math.sin(math.radians(-55)), math.sin(math.radians(70))
    return math.degrees(math.asin(rng.uniform(s0, s1))), rng.uniform(-179.9, 179.9)


def offset(lat, lon, bearing, km):
    d = km / 6371.0
    p1, l1, t = math.radians(lat), math.radians(lon), math.radians(bearing)
    p2 = math.asin(math.sin(p1) * math.cos(d) + math.cos(p1) * math.sin(d) * math.cos(t))
    l2 = l1 + math.atan2(math.sin(t) * math.sin(d) * math.cos(p1),
                         math.cos(d) - math.sin(p1) * math.sin(p2))
    return math.degrees(p2), (math.degrees(l2) + 540.0) % 360.0 - 180.0


def course(lat1, lon1, lat2, lon2):
    p1, p2, dl = math.radians(lat1), math.radians(lat2), math.radians(lon2 - lon1)
    y = math.sin(dl) * math.cos(p2)
    x = math.cos(p1) * math.sin(p2) - math.sin(p1) * math.cos(p2) * math.cos(dl)
    return math.degrees(math.atan2(y, x)) % 360.0


def arinc(lat, lon):
    def part(value, width, pos, neg):
        hemi = pos if value >= 0 else neg
        value = abs(value)
        deg = int(value)
        minutes = (value - deg) * 60
        mins = int(minutes)
        hundredths = min(int(round((minutes - mins) * 6000)), 5999)
        return f"{hemi}{deg:0{width}d}{mins:02d}{hundredths:04d}"
    return part(lat, 2, "N", "S") + "," + part(lon, 3, "E", "W")


class World:
    def __init__(self, size, seed):
        self.rng = random.Random(seed)
        self.seed = seed
        self.size = SIZES[size]
        self.fixes = []    # (ident, lat, lon, area, region)
        self.navaids = []  # (row code, ident, lat, lon, region, extra text)
        self.grid = {}     # cell -> enroute fix indices
        self.airports = []

    def build_fixes(self):
        rng = self.rng
        for i in range(self.size["fixes"]):
            lat, lon = random_position(rng)
            ident = name(i * 7919 % 26 ** 5, 5)
            self.fixes.append((ident, lat, lon, "ENRT", region_of(lat, lon)))
            self.grid.setdefault((int(lat // CELL), int(lon // CELL)), []).append(i)
        for i in range(self.size["navaids"]):
            lat, lon = random_position(rng)
            ident = name(i, 3)
            region = region_of(lat, lon)
            kind = rng.random()
            if kind < 0.4:
                self.navaids.append((3, ident, lat, lon, region, f"VOR-{ident} VOR/DME"))
                self.navaids.append((12, ident, lat, lon, region, f"VOR-{ident} VOR/DME"))
            elif kind < 0.5:
                self.navaids.append((13, ident, lat, lon, region, f"DME-{ident} DME"))
            else:
                self.navaids.append((2, ident[:2] + LETTERS[i % 26], lat, lon, region, "NDB"))

    def near_fix(self, lat, lon, heading, used):
        """An enroute fix 40-200 km away roughly along `heading`, or None."""
        rng = self.rng
        best, best_score = None, None
        for _ in range(3):
            km = rng.uniform(60, 180)
            t_lat, t_lon = offset(lat, lon, heading + rng.uniform(-25, 25), km)
            cell = (int(t_lat // CELL), int(t_lon // CELL))
            for i in self.grid.get(cell, ()):
                if i in used:
                    continue
                f = self.fixes[i]
                score = abs(f[1] - t_lat) + abs(f[2] - t_lon)
                if best_score is None or score < best_score:
                    best, best_score = i, score
            if best is not None:
                return best
        return None

    def airway_lines(self):
        rng = self.rng
        lines = []
        for a in range(self.size["airways"]):
            route = rng.choice(("A", "B", "G", "R", "J", "V", "Q", "T", "UL", "UM", "UN")) + \
                str(1 + a % 999)
            start = rng.randrange(len(self.fixes))
            path = [start]
            heading = rng.uniform(0, 360)
            for _ in range(rng.randint(6, 14)):
                f = self.fixes[path[-1]]
                nxt = self.near_fix(f[1], f[2], heading, set(path))
                if nxt is None:
                    break
                heading = course(f[1], f[2], self.fixes[nxt][1], self.fixes[nxt][2])
                path.append(nxt)
            one_way = rng.random()
            direction = "F" if one_way < 0.05 else "B" if one_way < 0.07 else "N"
            level = rng.choice((1, 2))
            for u, v in zip(path, path[1:]):
                fu, fv = self.fixes[u], self.fixes[v]
                names = route + ("-" + route + "X" if rng.random() < 0.03 else "")
                base, top = (180, 460) if level == 2 else (50, 180)
                line = f"{fu[0]:<5} {fu[4]} 11 {fv[0]:<5} {fv[4]} 11 {direction} {level} {base:3d} {top:3d} {names}"
                lines.append(line)
                if rng.random() < 0.1:  # listed once per level
                    lines.append(line.replace(f" {level} {base:3d} {top:3d} ", " 1  50 180 "))
        return lines

    def build_airports(self):
        rng = self.rng
        for i in range(self.size["airports"]):
            lat, lon = random_position(rng)
            ident = name(i * 31 % 26 ** 4, 4)
            runways = []
            heading = rng.uniform(0, 180)
            for r in range(rng.choice((1, 1, 1, 2, 2, 3))):
                h = (heading + 60 * r) % 180
                length = rng.uniform(1.2, 3.8)
                c_lat, c_lon = offset(lat, lon, rng.uniform(0, 360), rng.uniform(0, 1.5))
                a = offset(c_lat, c_lon, h + 180, length / 2)
                b = offset(c_lat, c_lon, h, length / 2)
                n1 = int(round(h / 10)) % 36 or 36
                n2 = (n1 + 18 - 1) % 36 + 1
                suffix = ("L", "R") if r == 1 and len(runways) else ("", "")
                runways.append((f"{n1:02d}{suffix[0]}", a, f"{n2:02d}{suffix[1]}", b))
            self.airports.append(dict(ident=ident, lat=lat, lon=lon, runways=runways,
                                      datum=rng.random() < 0.7, region=region_of(lat, lon)))

    def apt_lines(self):
        rng = self.rng
        out = []
        for apt in self.airports:
            out.append("")
            out.append(f"1 {rng.randint(0, 5000):5d} 0 0 {apt['ident']} Synthetic Field {apt['ident']}")
            out.append(f"1302 city Somewhere")
            out.append(f"1302 icao_code {apt['ident']}")
            if apt["datum"]:
                out.append(f"1302 datum_lat {apt['lat']:.9f}")
                out.append(f"1302 datum_lon {apt['lon']:.9f}")
            for n1, a, n2, b in apt["runways"]:
                disp = rng.choice((0.0, 0.0, 0.0, 150.0))
                out.append(f"100 45.00 1 0 0.25 1 3 0 {n1:<3} {a[0]:.8f} {a[1]:.8f} {disp:.2f} 0.00 3 0 0 1 "
                           f"{n2:<3} {b[0]:.8f} {b[1]:.8f} 0.00 0.00 3 0 0 1")
            # layout rows the importer passes over: taxiways, signs, start-up spots
            for _ in range(rng.randint(20, 90)):
                out.append(f"111 {apt['lat'] + rng.uniform(-0.01, 0.01):.8f} "
                           f"{apt['lon'] + rng.uniform(-0.01, 0.01):.8f}")
            out.append(f"1300 {apt['lat']:.8f} {apt['lon']:.8f} 90.00 gate jets Stand 1")
        return out

    def procedures(self, apt, index):
        """CIFP lines of one airport; adds its terminal fixes and ILS localizers."""
        rng = self.rng
        icao, region = apt["ident"], apt["region"]
        lines = []
        ends = []
        for n1, a, n2, b in apt["runways"]:
            ends.append(("RW" + n1, a, course(a[0], a[1], b[0], b[1])))
            ends.append(("RW" + n2, b, course(b[0], b[1], a[0], a[1])))
        term = [0]

        def terminal(lat, lon):
            term[0] += 1
            ident = f"{icao[:2]}{name(index * 64 + term[0], 3)}"
            self.fixes.append((ident, lat, lon, icao, region))
            return ident

        def leg(kind, seq, rtype, proc, trans, fix, section, sub, desc=" " * 4, path="TF"):
            return (f"{kind}:{seq:03d},{rtype},{proc},{trans},{fix},{region if fix else ''},"
                    f"{section},{sub},{desc}, ,   ,{path}" + LEG_TAIL)

        def exit_fix(bearing):
            lat, lon = offset(apt["lat"], apt["lon"], bearing, 60)
            i = self.near_fix(apt["lat"], apt["lon"], bearing, ())
            if i is None:
                return terminal(lat, lon), "P", "C"
            return self.fixes[i][0], "E", "A"

        for s in range(3):
            bearing = rng.uniform(0, 360)
            proc = f"{name(index * 3 + s, 4)}{s + 1}"
            mid_lat, mid_lon = offset(apt["lat"], apt["lon"], bearing, 25)
            mid = terminal(mid_lat, mid_lon)
            for rw, thr, hdg in ends:
                lines.append(leg("SID", 10, 1, proc, rw, rw, "P", "G", "G   ", "IF"))
                lines.append(leg("SID", 20, 1, proc, rw, "", " ", " ", "    ", "VA"))
                lines.append(leg("SID", 30, 1, proc, rw, mid, "P", "C", "E   ", "DF"))
            fix, sec, sub = exit_fix(bearing)
            lines.append(leg("SID", 10, 2, proc, " ", mid, "P", "C", "E   ", "IF"))
            lines.append(leg("SID", 20, 2, proc, " ", fix, sec, sub))
            for t in range(2):
                far_lat, far_lon = offset(apt["lat"], apt["lon"], bearing + 20 * t - 10, 120)
                i = self.near_fix(far_lat, far_lon, bearing, ())
                if i is not None:
                    lines.append(leg("SID", 10, 3, proc, self.fixes[i][0], fix, sec, sub, "E   ", "IF"))
                    lines.append(leg("SID", 20, 3, proc, self.fixes[i][0], self.fixes[i][0], "E", "A"))
        for s in range(3):
            bearing = rng.uniform(0, 360)
            proc = f"{name(index * 3 + s + 7, 4)}{s + 1}A"
            fix, sec, sub = exit_fix(bearing)
            mid_lat, mid_lon = offset(apt["lat"], apt["lon"], bearing, 30)
            mid = terminal(mid_lat, mid_lon)
            lines.append(leg("STAR", 10, 2, proc, "ALL", fix, sec, sub, "E   ", "IF"))
            lines.append(leg("STAR", 20, 2, proc, "ALL", mid, "P", "C"))
            for rw, thr, hdg in ends:
                lines.append(leg("STAR", 10, 3, proc, rw, mid, "P", "C", "E   ", "IF"))
                f_lat, f_lon = offset(thr[0], thr[1], hdg + 180, 18)
                lines.append(leg("STAR", 20, 3, proc, rw, terminal(f_lat, f_lon), "P", "C"))
        for rw, thr, hdg in ends:
            proc = "I" + rw[2:]
            iaf_lat, iaf_lon = offset(thr[0], thr[1], hdg + 180, 18)
            faf_lat, faf_lon = offset(thr[0], thr[1], hdg + 180, 9)
            iaf, faf = terminal(iaf_lat, iaf_lon), terminal(faf_lat, faf_lon)
            for side in (-1, 1):
                t_lat, t_lon = offset(iaf_lat, iaf_lon, hdg + 180 + 60 * side, 20)
                trans = terminal(t_lat, t_lon)
                lines.append(leg("APPCH", 10, "A", proc, trans, trans, "P", "C", "E  A", "IF"))
                lines.append(leg("APPCH", 20, "A", proc, trans, iaf, "P", "C", "E  B"))
            lines.append(leg("APPCH", 10, "I", proc, " ", iaf, "P", "C", "E  B", "IF"))
            lines.append(leg("APPCH", 20, "I", proc, " ", faf, "P", "C", "E  F", "CF"))
            lines.append(leg("APPCH", 30, "I", proc, " ", rw, "P", "G", "GY M", "CF"))
            lines.append(leg("APPCH", 40, "I", proc, " ", "", " ", " ", "  M ", "CA"))
            m_lat, m_lon = offset(thr[0], thr[1], hdg, 15)
            miss = terminal(m_lat, m_lon)
            lines.append(leg("APPCH", 50, "I", proc, " ", miss, "P", "C", "E M ", "DF"))
            lines.append(leg("APPCH", 60, "I", proc, " ", miss, "P", "C", "EE H", "HM"))
            loc = offset(thr[0], thr[1], hdg, 3.2)
            encoded = int(round(hdg + 3)) % 360 * 360 + round(hdg, 3)
            self.navaids.append((4, "I" + icao[1:], loc[0], loc[1], region,
                                 f"{icao} {region} {rw[2:]} ILS-cat-I", encoded))
        for rw, thr, hdg in ends:
            lines.append(f"RWY:{rw:<5},     ,      ,00100, ,    , ,   ;{arinc(*thr)},0000;")
        return lines


def write_lines(path, header, lines, closed=True):
    with open(path, "w", encoding="ascii", newline="\n") as f:
        if header:
            f.write("I\n" + header + "\n\n")
        f.write("\n".join(lines))
        f.write("\n99\n" if closed else "\n")
    return len(lines)


def nav_line(n):
    code, ident, lat, lon, region, text = n[:6]
    if code == 4:
        return f"{code:2d} {lat:13.8f} {lon:14.8f} {100:6d} {10950:5d} {18:3d} {n[6]:11.3f} {ident:<4} {text}"
    extra = 0.0 if code != 3 else 1.0
    freq = 350 if code == 2 else 11310
    return (f"{code:2d} {lat:13.8f} {lon:14.8f} {100:6d} {freq:5d} {130:3d} {extra:11.3f} "
            f"{ident:<4} ENRT {region} {text}")


def generate(out_dir, size="world", seed=1):
    t0 = time.time()
    world = World(size, seed)
    world.build_fixes()
    world.build_airports()
    os.makedirs(os.path.join(out_dir, "CIFP"), exist_ok=True)
    counts = {}
    hdr = lambda v: HEADER.format(version=v, seed=seed)  # noqa: E731
    counts["earth_awy.dat"] = write_lines(os.path.join(out_dir, "earth_awy.dat"), hdr(1100),
                                          world.airway_lines())
    counts["apt.dat"] = write_lines(os.path.join(out_dir, "apt.dat"), hdr(1200), world.apt_lines())
    cifp_lines = 0
    for index, apt in enumerate(world.airports[: world.size["cifp"]]):
        lines = world.procedures(apt, index)
        cifp_lines += write_lines(os.path.join(out_dir, "CIFP", apt["ident"] + ".dat"), None,
                                  lines, closed=False)
    counts["CIFP"] = cifp_lines
    counts["earth_fix.dat"] = write_lines(
        os.path.join(out_dir, "earth_fix.dat"), hdr(1200),
        [f"{lat:13.9f} {lon:14.9f} {ident:<5} {area} {region} 2105430 {ident}"
         for ident, lat, lon, area, region in world.fixes])
    counts["earth_nav.dat"] = write_lines(os.path.join(out_dir, "earth_nav.dat"), hdr(1200),
                                          [nav_line(n) for n in world.navaids])
    counts["airports"] = len(world.airports)
    counts["cifp_airports"] = min(world.size["cifp"], len(world.airports))
    counts["elapsed_s"] = round(time.time() - t0, 2)
    return counts


def main(argv=None):
    ap = argparse.ArgumentParser(description="Write synthetic X-Plane-format navigation data.")
    ap.add_argument("--out", required=True, help="folder to write into")
    ap.add_argument("--size", choices=sorted(SIZES), default="world")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args(argv)
    counts = generate(args.out, args.size, args.seed)
    print(" ".join(f"{k}={v}" for k, v in counts.items()) + f" -> {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
