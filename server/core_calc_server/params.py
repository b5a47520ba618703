"""The query parameters of a planning request and their checks.

Codes are upper-cased and every value stripped; an empty optional parameter means
"let the planner choose". A parameter given twice or one not listed here is refused
like any other invalid value: 422, with the parameter named.
"""
from typing import Annotated

from fastapi import Query, Request
from fastapi.exceptions import RequestValidationError
from pydantic import BaseModel, BeforeValidator, ConfigDict, Field, ValidationInfo, field_validator

AIRPORT_CODE = r"^[A-Za-z0-9]{3,8}$"
PROCEDURE_NAME = r"^[A-Za-z0-9][A-Za-z0-9.#_-]{0,19}$"
RUNWAY = r"^[A-Za-z0-9]{1,6}$"


def _stripped(value):
    return value.strip() if isinstance(value, str) else value


def _stripped_or_none(value):
    value = _stripped(value)
    return value or None


Code = Annotated[str, BeforeValidator(_stripped), Field(pattern=AIRPORT_CODE)]
Name = Annotated[str | None, BeforeValidator(_stripped_or_none), Field(pattern=PROCEDURE_NAME)]
Runway = Annotated[str | None, BeforeValidator(_stripped_or_none), Field(pattern=RUNWAY)]

# Query parameter -> plan_for_api keyword.
FORCED = {"sid": "forced_sid", "star": "forced_star", "iap": "forced_iap",
          "dep_rwy": "forced_dep_rwy", "arr_rwy": "forced_arr_rwy"}


class PlanQuery(BaseModel):
    model_config = ConfigDict(extra="forbid")

    dep: Code = Field(description="ICAO code of the departure airport, 3 to 8 letters or digits")
    arr: Code = Field(description="ICAO code of the arrival airport")
    sid: Name = Field(None, description="force this departure procedure")
    star: Name = Field(None, description="force this arrival procedure")
    iap: Name = Field(None, description="force this approach")
    dep_rwy: Runway = Field(None, description="force this departure runway, e.g. RW09L")
    arr_rwy: Runway = Field(None, description="force this arrival runway")

    @field_validator("dep", "arr", "dep_rwy", "arr_rwy")
    @classmethod
    def _upper(cls, value):
        return value.upper() if value else value

    @field_validator("arr")
    @classmethod
    def _differs(cls, value, info: ValidationInfo):
        if value == info.data.get("dep"):
            raise ValueError("departure and arrival airports must differ")
        return value

    def forced(self):
        """plan_for_api's forced_* keywords of the parameters given."""
        return {keyword: getattr(self, name) for name, keyword in FORCED.items()
                if getattr(self, name)}


def single_values(request: Request):
    """Refuses a query that repeats a parameter: which value was meant is unknown."""
    seen = set()
    for name, _ in request.query_params.multi_items():
        if name in seen:
            raise RequestValidationError([{
                "type": "repeated_parameter", "loc": ("query", name),
                "msg": "parameter given more than once", "input": name}])
        seen.add(name)


PlanParams = Annotated[PlanQuery, Query()]
