"""Procedure loading on the world-size sample: all SIDs, STARs and approaches (for
each of its runways) of the airport with the most procedure rows."""
import sqlite3
import statistics
import time

import core_calc

REPEATS = 20


def busiest_airport(db_path):
    """The airport with the most rows in the three procedure tables, and its runways."""
    with sqlite3.connect(db_path) as conn:
        icao, rows = conn.execute(
            "SELECT airport_identifier, COUNT(*) AS n FROM ("
            " SELECT airport_identifier FROM tbl_sids UNION ALL"
            " SELECT airport_identifier FROM tbl_stars UNION ALL"
            " SELECT airport_identifier FROM tbl_iaps)"
            " GROUP BY airport_identifier ORDER BY n DESC, airport_identifier LIMIT 1"
        ).fetchone()
        runways = [r for (r,) in conn.execute(
            "SELECT runway_identifier FROM tbl_runways WHERE airport_identifier = ?"
            " ORDER BY runway_identifier", (icao,))]
    return icao, rows, runways


def load_all(icao, runways):
    sids = core_calc.build_procedures_from_db(icao, core_calc._tn("tbl_sids"))
    stars = core_calc.build_procedures_from_db(icao, core_calc._tn("tbl_stars"))
    iaps = [a for rwy in runways for a in core_calc.build_iaps_from_db(icao, rwy)]
    return sids, stars, iaps


def timed(call, *args):
    start = time.perf_counter()
    call(*args)
    return time.perf_counter() - start


def main(world_db_path: str) -> None:
    core_calc.DB_PATH = world_db_path
    icao, rows, runways = busiest_airport(world_db_path)
    sids, stars, iaps = load_all(icao, runways)  # warms the file cache
    print(f"busiest airport {icao}: {rows} procedure rows, runways {runways}; "
          f"{len(sids)} SIDs, {len(stars)} STARs, {len(iaps)} approaches")
    parts = {
        "SIDs": lambda: core_calc.build_procedures_from_db(icao, core_calc._tn("tbl_sids")),
        "STARs": lambda: core_calc.build_procedures_from_db(icao, core_calc._tn("tbl_stars")),
        "approaches": lambda: [core_calc.build_iaps_from_db(icao, r) for r in runways],
    }
    for label, call in parts.items():
        times = [timed(call) for _ in range(REPEATS)]
        print(f"  {label}: median {statistics.median(times) * 1e3:.2f} ms")
    totals = [timed(load_all, icao, runways) for _ in range(REPEATS)]
    print(f"all SIDs, STARs and approaches of {icao}: median "
          f"{statistics.median(totals) * 1e3:.2f} ms, best {min(totals) * 1e3:.2f} ms "
          f"({REPEATS} runs)")


if __name__ == "__main__":
    import sys

    main(sys.argv[1])
