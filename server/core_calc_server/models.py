"""Response models of the service: they give the OpenAPI document its schemas.

The handlers write their JSON themselves (a plan record is large and already plain
data); the tests check that real answers validate against these models, so the
document stays true to what is sent.
"""
from pydantic import BaseModel, ConfigDict, Field


class Waypoint(BaseModel):
    name: str
    lat: float = Field(description="degrees north, 8 decimals")
    lon: float = Field(description="degrees east, 8 decimals")
    airway: str = Field(description="procedure or airway flown to this point, DCT for direct legs")
    seqno: str | None
    direction_restriction: str | None


class Procedures(BaseModel):
    sid: str
    star: str
    iap: str
    iap_trans: str | None


class Leg(BaseModel):
    model_config = ConfigDict(populate_by_name=True)

    from_: str = Field(alias="from")
    to: str
    airway: str
    course: float = Field(description="initial true course, degrees")
    distance_nm: float


class Runways(BaseModel):
    departure: str = Field(description="runway flown; N/A when there is none")
    arrival: str
    departure_ranked: list[str]
    arrival_ranked: list[str]
    departure_wind: str
    arrival_wind: str


class PlanRecord(BaseModel):
    """One route: the record of plan_for_api."""

    success: bool
    message: str
    origin: str
    destination: str
    dep_runway: str
    arr_runway: str
    distance_km: int = Field(description="whole km, search penalties included")
    route_string: str
    detailed_waypoints: list[Waypoint]
    procedures: Procedures
    flown_distance_km: float
    flown_distance_nm: float
    legs: list[Leg]
    runways: Runways


class Warning(BaseModel):
    """Something the planner did differently from what was asked, or had to work around."""

    model_config = ConfigDict(extra="allow")

    code: str = Field(description="e.g. forced_star_not_found, direct_arrival_used")
    message: str = Field(description="one English sentence")
    airport: str | None = None
    procedure: str | None = None
    runway: str | None = None
    detail: str | None = None


class PlanAnswer(PlanRecord):
    """The best route's record, then the other routes and the warnings."""

    alternatives: list[PlanRecord] = Field(description="up to three other routes, shortest first")
    warnings: list[Warning]


class Failure(BaseModel):
    """Every answer that is not a plan."""

    success: bool = False
    status: str = Field(description="the planner's status, or invalid_request, not_found, "
                                    "method_not_allowed, internal_error")
    message: str
    warnings: list[Warning] = []
    detail: list[dict] | None = Field(None, description="invalid_request: one entry per field")


class Health(BaseModel):
    status: str = Field(description="ok, or unavailable when no network is loaded")
    network_loaded: bool
    airway_rows: int = Field(description="airway entries of the loaded network")
    nodes: int = Field(description="waypoints of the loaded network")
    database: str
    cycle: str | None = Field(description="the navigation data's AIRAC cycle, when configured")
    uptime_s: float
    pid: int
