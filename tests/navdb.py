"""Small navigation databases for tests, written row by row."""
import sqlite3

SCHEMA = {
    "airway_segments": "route_identifier, waypoint_identifier, waypoint_latitude, "
    "waypoint_longitude, seqno, direction_restriction, segment_uid",
    "tbl_enroute_airways": "route_identifier, waypoint_identifier, waypoint_latitude, "
    "waypoint_longitude, seqno, direction_restriction",
    "airports": "airport_identifier, airport_ref_latitude, airport_ref_longitude",
    "tbl_runways": "airport_identifier, runway_identifier, runway_latitude, runway_longitude, "
    "runway_magnetic_bearing",
    "tbl_sids": "airport_identifier, procedure_identifier, transition_identifier, seqno, "
    "waypoint_identifier, waypoint_latitude, waypoint_longitude",
    "tbl_stars": "airport_identifier, procedure_identifier, transition_identifier, seqno, "
    "waypoint_identifier, waypoint_latitude, waypoint_longitude",
    "tbl_iaps": "airport_identifier, procedure_identifier, transition_identifier, seqno, "
    "waypoint_identifier, waypoint_latitude, waypoint_longitude",
    # What the importer records for the flight-plan exports.
    "waypoints": "waypoint_identifier, waypoint_latitude, waypoint_longitude, waypoint_type, "
    "icao_region",
    "navdata_metadata": "key, value",
}


class NavDb:
    """Creates the given tables (all by default) and inserts rows as tuples."""

    def __init__(self, path, tables=None):
        self.path = str(path)
        self.conn = sqlite3.connect(self.path)
        for name in tables or SCHEMA:
            self.conn.execute(f"CREATE TABLE IF NOT EXISTS {name} ({SCHEMA[name]})")
        self.conn.commit()

    def insert(self, table, *rows):
        columns = SCHEMA[table].count(",") + 1
        marks = ",".join("?" * columns)
        self.conn.executemany(f"INSERT INTO {table} VALUES ({marks})", rows)
        self.conn.commit()
        return self

    def airway(self, route, segment_uid, points):
        """points: (name, lat, lon[, seqno[, restriction]]); seqno defaults to 10, 20, ..."""
        rows = []
        for i, p in enumerate(points):
            name, lat, lon = p[:3]
            seqno = p[3] if len(p) > 3 else (i + 1) * 10
            restriction = p[4] if len(p) > 4 else None
            rows.append((route, name, lat, lon, seqno, restriction, segment_uid))
        return self.insert("airway_segments", *rows)

    def close(self):
        self.conn.close()

    def runways(self, icao, *rows, table="tbl_runways"):
        """rows: (runway_identifier, runway_magnetic_bearing); `table` may carry a suffix."""
        self.conn.execute(f"CREATE TABLE IF NOT EXISTS {table} ({SCHEMA['tbl_runways']})")
        self.conn.executemany(
            f"INSERT INTO {table} VALUES (?, ?, NULL, NULL, ?)",
            [(icao, rwy, bearing) for rwy, bearing in rows],
        )
        self.conn.commit()
        return self
