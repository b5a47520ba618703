# Types of the core_calc extension module, installed next to it for type checkers.
# Units: degrees (north and east positive), kilometres; plan distances include the
# search penalties. Keep in step with the registrations in src/module/*.cpp.
# The type aliases and TypedDicts named with a leading "_" exist only here, for
# annotations (import them under typing.TYPE_CHECKING); all else is the module's.
import os
from collections.abc import Callable, Hashable, Iterator, Mapping, Sequence
from typing import Any, NamedTuple, TypedDict, overload

# --- shared shapes ---------------------------------------------------------------------

_NodeKey = tuple[str, float, float]  # (waypoint name, lat, lon), lat and lon to 4 decimals
_Point = tuple[str, float, float, Any]  # (name, lat, lon, sequence number as stored)
_Connector = tuple[str, Any, float]  # ("DCT", fix, km)
_EdgeEntry = tuple[float, str | None]  # (km, route id)
_PenalizedEdges = Mapping[tuple[_NodeKey, _NodeKey], float]  # directed edge -> extra km

class Airport(NamedTuple):
    icao: str
    lat: float
    lon: float

class Procedure(NamedTuple):
    airport: str
    name: str
    points: list[_Point]

class Approach(NamedTuple):
    name: str
    runway: str
    initial_fix: str
    points: list[_Point]

class _PlanPoints(TypedDict):
    sid: list[_Point]
    star: list[_Point]
    iap: list[_Point]

class _Plan(TypedDict):
    """A plan of process_combination and generate_flight_plan."""

    departure: str
    sid: str
    star: str
    approach: str
    approach_runway: str
    arrival: str
    enroute: list[_NodeKey]
    route_ids: list[str]
    distance: float  # km plus the search penalties
    dep_connectors: list[_Connector]
    arr_connectors: list[_Connector]
    points: _PlanPoints

class _Waypoint(TypedDict):
    name: str
    lat: float  # degrees, 8 decimals
    lon: float
    airway: str
    seqno: str | None
    direction_restriction: str | None

class _Procedures(TypedDict):
    sid: str
    star: str
    iap: str
    iap_trans: str | None

class _ApiRecord(TypedDict):
    """The record of format_for_api."""

    success: bool
    message: str
    origin: str
    destination: str
    dep_runway: str
    arr_runway: str
    distance_km: int  # whole km of the plan's distance, search penalties included
    route_string: str
    detailed_waypoints: list[_Waypoint]
    procedures: _Procedures

# "from" is a keyword, hence the functional form.
_Leg = TypedDict(
    "_Leg", {"from": str, "to": str, "airway": str, "course": float, "distance_nm": float}
)

class _Runways(TypedDict):
    departure: str  # as flown; "N/A" when there is none
    arrival: str
    departure_ranked: list[str]
    arrival_ranked: list[str]
    departure_wind: str
    arrival_wind: str

class _PlanRecord(_ApiRecord):
    """A record of plan_for_api: format_for_api's keys, then these."""

    flown_distance_km: float
    flown_distance_nm: float
    legs: list[_Leg]
    runways: _Runways

class _PlanResult(TypedDict):
    plan: _PlanRecord | None
    alternatives: list[_PlanRecord]

# --- attributes --------------------------------------------------------------------------

__version__: str

DB_PATH: str | os.PathLike[str]
ORI_DB_PATH: str
first_arr: Any
last_dep: Any
recommendeddep: str
recommendedarr: str
AIRWAY_META: Mapping[tuple[str, _NodeKey], Mapping[str, str | None]]
GLOBAL_NETWORK: RouteNetwork | None
IGNORE_AIRWAY_DIRECTION: bool
TABLE_SUFFIX: str
EARTH_RADIUS: int
GRID_SIZE: float
MAX_CONNECTOR_DIST: float
DYNAMIC_CONNECTOR_FACTOR: float
BASE_CONNECTOR_DIST: float
SID_JOIN_RADIUS: float
SID_JOIN_RADIUS_FALLBACK: float
SID_BEARING_LIMIT: float
SID_BEARING_LIMIT_OFF: float
DIRECT_SID_NAME: str
DIRECT_CONNECT_RADIUS: float
DIRECT_ARR_NAME: str
DIRECT_ENTRY_CANDIDATES: int
CURRENT_PLAN_STATUS: str
CURRENT_PLAN_INFO: str
API_SERVER_READY: bool
API_STARTUP_ERROR: Any
WEATHER_API_URL: str
WEATHER_API_KEY: str

# --- classes -----------------------------------------------------------------------------

class SpatialGrid:
    class _GridView(Mapping[tuple[int, int], list[tuple[Any, float, float]]]):
        def __getitem__(self, key: tuple[int, int], /) -> list[tuple[Any, float, float]]: ...
        def __iter__(self) -> Iterator[tuple[int, int]]: ...
        def __len__(self) -> int: ...

    def __init__(self) -> None: ...
    @property
    def grid(self) -> SpatialGrid._GridView: ...
    def add_point(self, wp: Hashable, lat: float, lon: float) -> None: ...
    def query_nearest(
        self, lat: float, lon: float, max_dist: float = 200
    ) -> tuple[Any, float] | tuple[None, None]: ...
    def query_nearest_wide(
        self, lat: float, lon: float, max_dist: float
    ) -> tuple[Any, float] | tuple[None, None]: ...
    def query_k_nearest(
        self, lat: float, lon: float, max_dist: float, k: int = 1
    ) -> list[tuple[Any, float]]: ...

class RouteNetwork:
    class _AdjacencyView(Mapping[_NodeKey, _EdgeEntry]):
        def __getitem__(self, key: _NodeKey, /) -> _EdgeEntry: ...
        def __iter__(self) -> Iterator[_NodeKey]: ...
        def __len__(self) -> int: ...

    class _GraphView(Mapping[_NodeKey, RouteNetwork._AdjacencyView]):
        def __getitem__(self, key: _NodeKey, /) -> RouteNetwork._AdjacencyView: ...
        def __iter__(self) -> Iterator[_NodeKey]: ...
        def __len__(self) -> int: ...

    class _CoordMapView(Mapping[_NodeKey, tuple[float, float]]):
        def __getitem__(self, key: _NodeKey, /) -> tuple[float, float]: ...
        def __setitem__(self, key: _NodeKey, value: tuple[float, float], /) -> None: ...
        def __iter__(self) -> Iterator[_NodeKey]: ...
        def __len__(self) -> int: ...

    class _AirwayMetaView(Mapping[tuple[str, _NodeKey], dict[str, str | None]]):
        def __getitem__(self, key: tuple[str, _NodeKey], /) -> dict[str, str | None]: ...
        def __iter__(self) -> Iterator[tuple[str, _NodeKey]]: ...
        def __len__(self) -> int: ...

    def __init__(self) -> None: ...
    @property
    def graph(self) -> RouteNetwork._GraphView: ...
    @property
    def coord_map(self) -> RouteNetwork._CoordMapView: ...
    @property
    def spatial_index(self) -> SpatialGrid: ...
    def add_edge(
        self,
        wp1: _NodeKey,
        wp2: _NodeKey,
        distance: float,
        route_id: str | None,
        is_bidirectional: bool = True,
    ) -> None: ...

# --- callables ---------------------------------------------------------------------------

def _tn(base: str) -> str: ...
def get_img_path(pic_name: str) -> str: ...
@overload
def vectorized_haversine(lat1: float, lon1: float, lat2: float, lon2: float) -> float: ...
@overload
def vectorized_haversine(
    lat1: float | Sequence[float],
    lon1: float | Sequence[float],
    lat2: float | Sequence[float],
    lon2: float | Sequence[float],
) -> float | list[float]: ...
def get_bearing(lat1: float, lon1: float, lat2: float, lon2: float) -> float: ...
def get_turn_angle(
    p_lat: float, p_lon: float, c_lat: float, c_lon: float, n_lat: float, n_lon: float
) -> float: ...
def init_network() -> RouteNetwork: ...
def a_star(
    start: _NodeKey,
    end: _NodeKey,
    target_lat: float | None = None,
    target_lon: float | None = None,
    initial_prev_coord: tuple[float, float] | None = None,
    penalized_edges: _PenalizedEdges | None = None,
) -> tuple[list[_NodeKey], list[str], float]: ...
def _a_star_stats(
    start: _NodeKey,
    end: _NodeKey,
    target_lat: float | None = None,
    target_lon: float | None = None,
    initial_prev_coord: tuple[float, float] | None = None,
    penalized_edges: _PenalizedEdges | None = None,
) -> tuple[tuple[list[_NodeKey], list[str], float], int]: ...
def _profile_init_network(pauses: bool = True) -> tuple[RouteNetwork, dict[str, float]]: ...
def _profile_generate_flight_plan(
    dep_icao: str, arr_icao: str, batch_size: int = 20
) -> tuple[tuple[_Plan | None, list[_Plan]] | None, dict[str, float]]: ...
def build_procedures_from_db(
    icao: str, table_name: str, runway: str | None = None
) -> dict[str, Procedure]: ...
def build_iaps_from_db(icao: str, runway: str) -> list[Approach]: ...
def connect_to_network(
    lat: float, lon: float, segment_length: float
) -> tuple[_NodeKey | None, list[_Connector]]: ...
def process_combination(
    sid: Procedure,
    star: Procedure | None,
    available_iaps: Sequence[Approach],
    dep: str,
    arr: str,
    skip_bearing_check: bool = False,
    penalized_edges: _PenalizedEdges | None = None,
    join_radius: float | None = None,
    bearing_limit: float | None = None,
) -> _Plan | None: ...
def get_airport_ref_coord(icao: str) -> tuple[float, float] | None: ...
# radius and k: DIRECT_CONNECT_RADIUS and DIRECT_ENTRY_CANDIDATES as they were at load
def build_direct_sid(
    icao: str, lat: float, lon: float, radius: float = 100.0, k: int = 12
) -> list[Procedure]: ...
def build_direct_star(
    icao: str, lat: float, lon: float, radius: float = 100.0, k: int = 12
) -> list[Procedure]: ...
def get_best_runway_and_wind(icao_code: str) -> tuple[list[str], str | int | float]: ...
def process_batch(
    args: tuple[
        Sequence[tuple[Procedure, Procedure | None]],
        Sequence[Approach],
        str,
        str,
        float | None,
        float | None,
    ],
) -> _Plan | None: ...
def generate_flight_plan(
    dep_icao: str,
    arr_icao: str,
    batch_size: int = 20,
    forced_sid: str | None = None,
    forced_star: str | None = None,
    forced_iap: str | None = None,
    forced_dep_rwy: str | None = None,
    forced_arr_rwy: str | None = None,
) -> tuple[_Plan | None, list[_Plan]] | None: ...
def format_for_api(plan: Mapping[str, Any] | None) -> _ApiRecord | None: ...
def route_icao(record: Mapping[str, Any]) -> str: ...
def route_geojson(record: Mapping[str, Any]) -> str: ...
def route_gpx(record: Mapping[str, Any]) -> str: ...
def route_fms(record: Mapping[str, Any], cycle: str | None = None) -> str: ...
def route_pln(record: Mapping[str, Any]) -> str: ...
def route_fpl(record: Mapping[str, Any]) -> str: ...
def plan_for_api(
    dep_icao: str,
    arr_icao: str,
    batch_size: int = 20,
    forced_sid: str | None = None,
    forced_star: str | None = None,
    forced_iap: str | None = None,
    forced_dep_rwy: str | None = None,
    forced_arr_rwy: str | None = None,
    report: Callable[[str], object] | None = None,
) -> _PlanResult | None: ...
def import_navdata(
    sources: str | os.PathLike[str] | list[str | os.PathLike[str]],
    db_path: str | os.PathLike[str],
    progress: Callable[[dict[str, Any]], object] | None = None,
) -> dict[str, int]: ...
def _import_command(argv: Sequence[str | os.PathLike[str]] | None = None) -> int: ...
