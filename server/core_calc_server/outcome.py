"""What a planning request came to, and the HTTP status that tells a client so.

plan_for_api answers with a mapping {"status", "message", "warnings", "plan",
"alternatives"}; HTTP_STATUS is the one table that turns its status into the answer's
HTTP status. `plan` calls the module and hands back that mapping.
"""
import re

import core_calc

# Result status -> HTTP status. A status missing here is answered 500 and logged.
HTTP_STATUS = {
    "ok": 200,
    "unknown_departure": 404,
    "unknown_arrival": 404,
    "no_departure_procedure": 404,
    "no_route": 404,
    "forced_sid_not_found": 422,
    "network_not_loaded": 503,
    "database_unavailable": 503,
}


def http_status(status):
    return HTTP_STATUS.get(status, 500)


def plan(dep, arr, forced, report):
    """plan_for_api's result for one request as the mapping described above.

    `forced` holds plan_for_api's forced_* keywords; `report` receives the request's
    diagnostic lines."""
    lines = []

    def collect(line):
        lines.append(line)
        report(line)

    not_loaded = {"status": "network_not_loaded", "message": "The airway network is not loaded.",
                  "warnings": [], "plan": None, "alternatives": []}
    if core_calc.GLOBAL_NETWORK is None:
        return not_loaded
    try:
        result = core_calc.plan_for_api(dep, arr, report=collect, **forced)
    except getattr(core_calc, "NetworkNotLoaded", ()):  # unloaded meanwhile
        return not_loaded
    if isinstance(result, dict) and "status" in result:
        return result
    return _legacy_result(result, lines, dep, arr)


# --- TEMPORARY ADAPTER ----------------------------------------------------------------
# plan_for_api still answers None or {"plan", "alternatives"} and reports what went
# wrong only in its diagnostic lines. _legacy_result derives the mapping above from
# that; it is never called once plan_for_api gives "status" itself, and goes then,
# together with re above.
_FORCED_NOT_FOUND = re.compile(r"强制 (SID|STAR|IAP) '(.*)' 未找到")


def _legacy_result(result, lines, dep, arr):
    missing = {kind: name for kind, name in
               (m.groups() for m in map(_FORCED_NOT_FOUND.search, lines) if m)}
    warnings = [
        {"code": code, "message": f"The forced {what} '{missing[kind]}' was not found at "
                                  f"{arr}; planned without it.",
         "airport": arr, "procedure": missing[kind]}
        for kind, code, what in (("STAR", "forced_star_not_found", "STAR"),
                                 ("IAP", "forced_approach_not_found", "approach"))
        if kind in missing]

    def known(icao):
        return bool(core_calc.get_airport_ref_coord(icao)
                    or core_calc.build_procedures_from_db(icao, "tbl_sids")
                    or core_calc.build_procedures_from_db(icao, "tbl_stars"))

    best = result["plan"] if result else None
    if best:
        status, message = "ok", "Plan generated successfully."
    elif "SID" in missing:
        status = "forced_sid_not_found"
        message = f"The forced SID '{missing['SID']}' was not found at {dep}."
    elif not known(dep):
        status, message = "unknown_departure", f"Unknown departure airport {dep}."
    elif result is None:
        status = "no_departure_procedure"
        message = f"No departure procedure and no direct departure is possible at {dep}."
    elif not known(arr):
        status, message = "unknown_arrival", f"Unknown arrival airport {arr}."
    else:
        status, message = "no_route", f"No route found from {dep} to {arr}."
    return {"status": status, "message": message, "warnings": warnings, "plan": best,
            "alternatives": result["alternatives"] if best else []}
# --- END OF TEMPORARY ADAPTER ----------------------------------------------------------
