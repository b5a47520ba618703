"""core-calc-import: X-Plane-format navigation data files into a navigation database.

    core-calc-import SOURCES... -o nav.db

SOURCES are files or directories (searched recursively) holding earth_fix.dat,
earth_nav.dat, earth_awy.dat, apt.dat and CIFP/<airport>.dat, or their older
fix.dat, nav.dat and awy.dat, plain or gzip-compressed. One line is printed per file
read and a summary at the end. The exit status is 0 on success, 1 when the data or
a path is at fault (nothing is written then) and 130 when interrupted.

Installed beside the core_calc extension module, whose import_navdata does the work.
"""
import argparse
import os
import sys
import time

import core_calc

TABLES = ("airway_segments", "tbl_enroute_airways", "airports", "tbl_runways",
          "tbl_sids", "tbl_stars", "tbl_iaps")

RECORDS = {"fixes": "fixes", "navaids": "navaids", "airports": "airports",
           "airways": "segments", "procedures": "rows"}


def file_line(report):
    """One progress line for a file, e.g. 'fixes    1200  earth_fix.dat: 198,612 fixes'."""
    version = str(report["version"]) if report["version"] else "-"
    parts = [f"{report['records']:,} {RECORDS[report['kind']]}"]
    for key in ("duplicates", "unresolved", "skipped"):
        if report[key]:
            parts.append(f"{report[key]:,} {key}")
    return (f"{report['kind']:<10} {version:>5}  {report['path']}: {', '.join(parts)} "
            f"({report['lines']:,} lines, {report['seconds']:.2f} s)")


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="core-calc-import",
        description="Import X-Plane-format navigation data files into a navigation database.")
    parser.add_argument("sources", nargs="+", metavar="SOURCE",
                        help="a data file or a directory holding them")
    parser.add_argument("-o", "--output", required=True, metavar="DB",
                        help="the database to write (replaced when the import succeeds)")
    parser.add_argument("-q", "--quiet", action="store_true",
                        help="print only the summary")
    args = parser.parse_args(argv)

    def progress(report):
        if not args.quiet:
            print(file_line(report), flush=True)

    started = time.perf_counter()
    try:
        counts = core_calc.import_navdata(args.sources, args.output, progress=progress)
    except (ValueError, OSError) as error:
        print(f"core-calc-import: {error}", file=sys.stderr)
        print(f"core-calc-import: nothing written to {args.output}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("core-calc-import: interrupted, nothing written", file=sys.stderr)
        return 130
    seconds = time.perf_counter() - started
    print(f"wrote {os.fspath(args.output)} in {seconds:.2f} s:")
    for table in TABLES:
        print(f"  {table:<20} {counts.get(table, 0):>10,} rows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
