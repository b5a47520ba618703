// The help texts of the module's callables and classes, as help(core_calc) shows
// them: what each returns, in which units, and which module attributes it reads
// or writes. Kept in one place so they read as one manual; format_for_api,
// plan_for_api and the route exports keep theirs beside their registration.
// Units throughout: degrees (north and east positive), kilometres.
#pragma once

namespace core_calc::module::doc {

// --- module frame -------------------------------------------------------------------

inline constexpr const char* kModule =
    R"doc(Flight-route calculator: airway network, procedures, route search and flight plans.

A host loads the airway network once, then plans per request, from any thread:

    core_calc.DB_PATH = "nav.db"
    core_calc.GLOBAL_NETWORK = core_calc.init_network()
    result = core_calc.plan_for_api("XAAA", "XBBB")  # None, or {"plan", "alternatives"}
    record = result["plan"]                          # None when no route was found
    gpx = core_calc.route_gpx(record)                # also route_icao, _geojson, _fms

Units: degrees (north and east positive), kilometres; plan distances are km plus
the search penalties, "flown_distance_km"/"flown_distance_nm" are flown.

Every function reads the module attributes it uses at the moment of use, so a
host reconfigures later calls by rebinding them: DB_PATH (SQLite file),
TABLE_SUFFIX, IGNORE_AIRWAY_DIRECTION, GRID_SIZE (degrees), SID_JOIN_RADIUS and
SID_JOIN_RADIUS_FALLBACK (km), SID_BEARING_LIMIT and SID_BEARING_LIMIT_OFF
(degrees), DYNAMIC_CONNECTOR_FACTOR, BASE_CONNECTOR_DIST (km), DIRECT_SID_NAME,
DIRECT_ARR_NAME, WEATHER_API_URL (empty: no weather service) and WEATHER_API_KEY.
DIRECT_CONNECT_RADIUS (km) and DIRECT_ENTRY_CANDIDATES are read once, at load,
as the defaults of build_direct_sid and build_direct_star.

State: GLOBAL_NETWORK (the host assigns what init_network returns), AIRWAY_META
(replaced by init_network), recommendeddep and recommendedarr (written by
generate_flight_plan, read by format_for_api; plan_for_api leaves them alone).
Held for the host and unused here: ORI_DB_PATH, first_arr, last_dep,
EARTH_RADIUS, MAX_CONNECTOR_DIST, CURRENT_PLAN_STATUS, CURRENT_PLAN_INFO,
API_SERVER_READY, API_STARTUP_ERROR.

Diagnostic lines are Chinese text with an emoji marker ("❌" failure, "⚠️"
warning, "✅"/"🎉" success, "🔍", "ℹ️", "🔒", "⏳", "🛫", "🛬" progress, "🚀 [System]"
start-up; request lines carry "[Debug]"), one line per event on sys.stdout, or
given to the `report` callable of plan_for_api.)doc";

inline constexpr const char* kTn =
    R"doc(The table name `base` followed by TABLE_SUFFIX (plain concatenation).

Reads TABLE_SUFFIX at the call; writes nothing.)doc";

inline constexpr const char* kImgPath =
    R"doc(The path of a resource file shipped with the host (text).

sys._MEIPASS joined with `pic_name` inside a one-file bundle, else the absolute
current directory joined with it; the file system is not consulted. Reads no
module attribute.)doc";

inline constexpr const char* kAirport =
    R"doc(Airport(icao, lat, lon): an airport and its position in degrees.

An immutable named tuple, offered to hosts; no function of the module uses it.)doc";

inline constexpr const char* kProcedure =
    R"doc(Procedure(airport, name, points): a SID, STAR or direct candidate.

An immutable named tuple. points: list of (name, lat, lon, seqno) in flying order,
lat and lon in degrees.)doc";

inline constexpr const char* kApproach =
    R"doc(Approach(name, runway, initial_fix, points): one way into an approach.

An immutable named tuple. name: "PROC.TRANSITION", or "PROC.MAIN" / "PROC.MAIN1"...
for main-route segments; points: list of (name, lat, lon, seqno), lat and lon in
degrees.)doc";

// --- geodesy and the grid -----------------------------------------------------------

inline constexpr const char* kHaversine =
    R"doc(Great-circle distance in km between (lat1, lon1) and (lat2, lon2), degrees.

Each argument is a number or a sequence of numbers; with sequences (of equal
length) the result is a list of distances, element by element. Earth radius
6371 km (EARTH_RADIUS is not read). Reads no module attribute.)doc";

inline constexpr const char* kBearing =
    R"doc(Initial great-circle bearing from point 1 to point 2, degrees true in [0, 360).

Arguments in degrees, single numbers; equal points give 0. Reads no module
attribute.)doc";

inline constexpr const char* kTurnAngle =
    R"doc(The turn at the current point between two legs, degrees in [0, 180].

0 is straight on, 180 a reversal: the difference of the bearings previous->current
and current->next. Arguments in degrees. Reads no module attribute.)doc";

inline constexpr const char* kSpatialGrid =
    R"doc(SpatialGrid(): a bucket grid of points in cells of GRID_SIZE degrees.

`grid` is a read-only mapping (row, column) -> list of (wp, lat, lon) in filing
order. The queries use great-circle kilometres. GRID_SIZE is read at every
insertion and query.)doc";

inline constexpr const char* kGridProperty =
    R"doc(Read-only mapping of cell key (row, column) -> list of (wp, lat, lon).)doc";

inline constexpr const char* kAddPoint =
    R"doc(Files (wp, lat, lon) in the cell of (lat, lon), degrees; returns None.

A grid of a RouteNetwork files node keys (name, lat, lon) only. Reads GRID_SIZE.)doc";

inline constexpr const char* kQueryNearest =
    R"doc((wp, distance km) of the nearest entry within max_dist km, else (None, None).

Scans the point's cell and floor(max_dist / (GRID_SIZE * 111)) cells around it, so
below 111 km only the own cell. Reads GRID_SIZE.)doc";

inline constexpr const char* kQueryNearestWide =
    R"doc(As query_nearest, scanning ceil(max_dist / (GRID_SIZE * 111)) cells around.

Returns (wp, distance km) or (None, None). Reads GRID_SIZE.)doc";

inline constexpr const char* kQueryKNearest =
    R"doc(Up to k pairs (wp, distance km) within max_dist km, nearest first.

Each wp once; cells scanned as in query_nearest_wide. Reads GRID_SIZE.)doc";

// --- airway network -----------------------------------------------------------------

inline constexpr const char* kRouteNetwork =
    R"doc(RouteNetwork(): the airway graph of unique waypoints.

Nodes are node keys (name, lat, lon), lat and lon rounded to 4 decimals.
graph: node key -> {neighbour key: (distance km, route id)}; coord_map: node key ->
(lat, lon); spatial_index: a SpatialGrid of the airway points. The views are read
only and build values when read; add_edge, coord_map[key] = (lat, lon) and
spatial_index.add_point edit the network (searches already running keep the
network they started with).)doc";

inline constexpr const char* kGraphProperty =
    R"doc(Read-only mapping node key -> {neighbour key: (distance km, route id)}.)doc";

inline constexpr const char* kCoordMapProperty =
    R"doc(Mapping node key -> (lat, lon) in degrees; assignable, otherwise read only.)doc";

inline constexpr const char* kSpatialIndexProperty =
    R"doc(The network's SpatialGrid, filed with node keys.)doc";

inline constexpr const char* kAddEdge =
    R"doc(Sets graph[wp1][wp2] = (distance km, route_id), and the reverse when
is_bidirectional is true; returns None. A pair already present keeps its position
and takes the new entry. Reads no module attribute.)doc";

inline constexpr const char* kInitNetwork =
    R"doc(Loads the airway network of the database at DB_PATH; returns a RouteNetwork.

Reads the table airway_segments, or tbl_enroute_airways + TABLE_SUFFIX when the
suffix is set; edges join consecutive points of an airway in the directions its
restrictions allow (all directions when IGNORE_AIRWAY_DIRECTION is true), weighted
by great-circle km. A missing file or an unreadable table gives an empty network
and one printed line.

Reads DB_PATH, TABLE_SUFFIX, IGNORE_AIRWAY_DIRECTION and GRID_SIZE; replaces
AIRWAY_META ((route id, node key) -> {"seqno", "direction_restriction"}). Does not
assign GLOBAL_NETWORK: the host does. Prints its lines on sys.stdout.)doc";

inline constexpr const char* kAStar =
    R"doc(Route search between two node keys of GLOBAL_NETWORK; returns (path, route_ids, cost).

path: the node keys after `start` up to and including `end`; route_ids[i]: the
airway that enters path[i]; cost: km plus the airway-change and turn penalties
and the caller's penalized_edges ({(from key, to key): extra km}). The estimate
aims at (target_lat, target_lon), degrees, by default the position of `end`;
initial_prev_coord (lat, lon) prices the turn at `start`. No route: ([], [], inf);
start == end: ([], [], 0.0).

Reads GLOBAL_NETWORK; runs without the GIL.)doc";

inline constexpr const char* kAStarStats =
    R"doc(As a_star, returning ((path, route_ids, cost), heap entries expanded); for benchmarks.)doc";

inline constexpr const char* kConnect =
    R"doc(Joins a position (degrees) to the network; returns (node key, [("DCT", node key, km)]).

The nearest node within max(segment_length * DYNAMIC_CONNECTOR_FACTOR,
BASE_CONNECTOR_DIST) km (segment_length in km); (None, []) when there is none or
no network is loaded. Reads GLOBAL_NETWORK, DYNAMIC_CONNECTOR_FACTOR,
BASE_CONNECTOR_DIST and GRID_SIZE.)doc";

inline constexpr const char* kProfileInit =
    R"doc(Loads like init_network; returns (RouteNetwork, timings and sizes); for benchmarks.

The dict holds rows, nodes, edges, read/build/pause/pack seconds and
native_bytes_estimate; pauses=False skips the 1 ms pause per 1000 rows. Reads and
writes the attributes init_network does.)doc";

inline constexpr const char* kProfileGenerate =
    R"doc(Runs generate_flight_plan(dep_icao, arr_icao, batch_size) and also returns where the time went.

Returns (result of generate_flight_plan, dict): total_seconds and search_seconds
(routing the combinations), searches_asked and searches_run (route searches the
combinations asked for, and how many of them ran: identical ones are shared). For
benchmarks; reads and writes what generate_flight_plan does.)doc";

inline constexpr const char* kImportCommand =
    R"doc(The core-calc-import command: core-calc-import SOURCE... -o DB [-q].

argv: the arguments without the program name (None: sys.argv[1:]). Imports as
import_navdata does, printing one line per file read (none with -q) and the rows
written per table on sys.stdout, a failure on sys.stderr. Returns the exit
status: 0 done, 1 the data or a path at fault (nothing written), 2 a command line
out of this form, 130 interrupted. Reads no module attribute.)doc";

inline constexpr const char* kImportNavdata =
    R"doc(Imports X-Plane-format navigation data into a new navigation database.

sources: a file, a directory or a list of them (earth_awy.dat/awy.dat,
earth_fix.dat/fix.dat, earth_nav.dat/nav.dat, apt.dat, CIFP/XXXX.dat; plain or
gzip). Writes db_path through a temporary file beside it, renamed into place only
when complete; returns {table name: rows written}. progress, if given, is called
with a mapping per file read. A damaged line raises ValueError naming the file
and the line (filename and lineno are set) and leaves no database behind. Reads
and writes no module attribute.)doc";

// --- procedures and airport data ----------------------------------------------------

inline constexpr const char* kProcedures =
    R"doc(The SIDs or STARs of an airport: {procedure identifier: Procedure}.

table_name: _tn("tbl_sids") or _tn("tbl_stars"), used verbatim. runway (e.g.
"RW09L" or "09L") keeps the transitions of that runway and "ALL"; None or "" keeps
all. Points are in seqno order, lat and lon in degrees; procedures with fewer than
2 points are left out. A failed query prints one line on sys.stdout and returns
what was read.

Reads DB_PATH.)doc";

inline constexpr const char* kApproaches =
    R"doc(The approaches of an airport for one runway: a list of Approach records.

One record per transition (name "PROC.TRANS") or main-route segment ("PROC.MAIN",
"PROC.MAIN1", ...); points with lat and lon in degrees. A failed query prints one
line on sys.stdout.

Reads DB_PATH and TABLE_SUFFIX (table _tn("tbl_iaps")).)doc";

inline constexpr const char* kRefCoord =
    R"doc(The airport's reference position (lat, lon) in degrees, or None.

From the airports table, else the mean of its runway positions (tbl_runways);
the code is upper-cased. A failed query prints one line on sys.stdout.

Reads DB_PATH.)doc";

inline constexpr const char* kDirectSid =
    R"doc(Direct departure candidates around an airport at (lat, lon), degrees.

A list of up to k Procedure records named DIRECT_SID_NAME, each [ICAO+"APT" at
(lat, lon), a network waypoint within radius km], nearest first. radius and k
default to DIRECT_CONNECT_RADIUS and DIRECT_ENTRY_CANDIDATES as they were when the
module loaded. Prints one line on sys.stdout; [] without a network.

Reads GLOBAL_NETWORK, DIRECT_SID_NAME and GRID_SIZE.)doc";

inline constexpr const char* kDirectStar =
    R"doc(Direct arrival candidates around an airport at (lat, lon), degrees.

A list of up to k Procedure records named DIRECT_ARR_NAME, each [a network waypoint
within radius km, ICAO+"APT" at (lat, lon)], nearest first. radius and k default
to DIRECT_CONNECT_RADIUS and DIRECT_ENTRY_CANDIDATES as they were when the module
loaded. Prints one line on sys.stdout; [] without a network.

Reads GLOBAL_NETWORK, DIRECT_ARR_NAME and GRID_SIZE.)doc";

inline constexpr const char* kRunways =
    R"doc(The airport's runways ranked by the reported wind: (runway identifiers, wind).

Best first: up to 3 runways within 90 degrees of the wind (magnetic bearing
against the direction the wind blows from), at least the closest one; every
runway in database order when no direction is known. wind: the reported
direction as the service gave it (text or number, "VRB" for variable), "N/A"
without a report. One weather request (2 s at most) and one query.

Reads WEATHER_API_URL, WEATHER_API_KEY, DB_PATH and TABLE_SUFFIX (table
_tn("tbl_runways")); writes nothing.)doc";

// --- route planning -----------------------------------------------------------------

inline constexpr const char* kProcessCombination =
    R"doc(Routes one SID x STAR (or None) combination; returns a plan dict or None.

The plan: departure, sid, star ("DIRECT" without one), approach ("N/A" without),
approach_runway, arrival, enroute (node keys), route_ids, distance (km plus the
search penalties), dep_connectors, arr_connectors ([("DCT", fix, km)] at most) and
points ({"sid", "star", "iap"} point lists). join_radius (km) and bearing_limit
(degrees) default to SID_JOIN_RADIUS and SID_BEARING_LIMIT; penalized_edges as in
a_star.

Reads GLOBAL_NETWORK, SID_JOIN_RADIUS, SID_BEARING_LIMIT and GRID_SIZE; runs
without the GIL.)doc";

inline constexpr const char* kProcessBatch =
    R"doc(The plan of smallest distance among a batch of combinations, or None.

args: (batch of (sid, star) pairs, iaps, dep, arr, join_radius km or None,
bearing_limit degrees or None); each pair is routed as process_combination does.
Reads what process_combination reads.)doc";

inline constexpr const char* kGenerate =
    R"doc(Plans a route between two airports; returns (best plan, alternatives) or None.

Ranks the runways by the wind, loads the SIDs, STARs and approaches of the best
runways (falling back to all procedures and to direct candidates), routes every
combination on a pool of native threads, retries with the wider join radius and
without direction pruning, and returns the shortest plan (dict as
process_combination gives, distance in km plus search penalties) with up to
three alternatives of other routes; (None, []) when no route is found. None when
GLOBAL_NETWORK is not loaded, the departure has no SID or a forced SID does not
exist. forced_* fix the SID, STAR, approach (name prefix) and runways.

Reads GLOBAL_NETWORK, DB_PATH, TABLE_SUFFIX, GRID_SIZE, SID_JOIN_RADIUS,
SID_JOIN_RADIUS_FALLBACK, SID_BEARING_LIMIT, SID_BEARING_LIMIT_OFF,
DIRECT_SID_NAME, DIRECT_ARR_NAME, WEATHER_API_URL and WEATHER_API_KEY, and calls
get_best_runway_and_wind, build_procedures_from_db, build_iaps_from_db,
get_airport_ref_coord, build_direct_sid and build_direct_star through the module
attributes of those names. Writes recommendeddep and recommendedarr (first ranked
runways, "N/A" when none), which format_for_api reads: with concurrent requests
use plan_for_api instead. Prints its diagnostic lines (Chinese, with emoji
markers) on sys.stdout.)doc";

}  // namespace core_calc::module::doc
