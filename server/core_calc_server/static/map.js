// The map page: plans through GET /plan, draws the best route over the airway network
// of GET /network.geojson, the alternatives in other colours, and lists the warnings,
// the runways flown and the downloads. Everything comes from this host (no tiles, no CDN).
// window.coreCalc holds the drawn layers for whoever inspects the page.
"use strict";

const BEST_COLOUR = "#1f5fbf";
const ALTERNATIVE_COLOURS = ["#e07b00", "#8e44ad", "#17a589"];
const NETWORK_LIMIT = 3000;
const PARAMS = ["dep", "arr", "sid", "star", "iap", "dep_rwy", "arr_rwy"];

// best, alternatives: the drawn polylines; networkBox: [west, south, east, north] of the
// airway layer shown; answer: the last answer of /plan.
const coreCalc = (window.coreCalc = {
  map: null, best: null, alternatives: [], answer: null, networkBox: null,
});
const $ = (id) => document.getElementById(id);

function element(tag, text, attributes = {}) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  return node;
}

function popupFor(waypoint, leg) {
  const box = element("div");
  box.append(element("b", waypoint.name), element("br"), `airway ${waypoint.airway}`);
  if (leg) {
    box.append(element("br"),
               `course ${leg.course.toFixed(0)}°, ${leg.distance_nm.toFixed(1)} NM from ${leg.from}`);
  }
  return box;
}

function latLngs(record) {
  return record.detailed_waypoints.map((w) => [w.lat, w.lon]);
}

// --- the airway network behind the route --------------------------------------------

let networkLayer = null;
let networkRequest = 0;

async function loadNetwork() {
  const map = coreCalc.map;
  const b = map.getBounds();
  const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));
  const box = [clamp(b.getWest(), -180, 179.99), clamp(b.getSouth(), -90, 89.99),
               clamp(b.getEast(), -179.99, 180), clamp(b.getNorth(), -89.99, 90)];
  if (box[0] >= box[2] || box[1] >= box[3]) return;
  const request = ++networkRequest;
  const url = `/network.geojson?bbox=${box.map((v) => v.toFixed(4)).join(",")}&limit=${NETWORK_LIMIT}`;
  const answer = await fetch(url);
  if (!answer.ok || request !== networkRequest) return;
  const layer = await answer.json();
  if (request !== networkRequest) return;
  if (networkLayer) networkLayer.remove();
  networkLayer = L.geoJSON(layer, {
    renderer: L.canvas({ padding: 0.2 }),
    interactive: false,
    style: { color: "#8d99a6", weight: 1, opacity: 0.7 },
  }).addTo(map);
  networkLayer.bringToBack();
  coreCalc.networkBox = box;
  document.body.dataset.networkLegs = String(layer.features.length);
  $("network-status").textContent = `${layer.features.length} airway legs shown` +
    (layer.truncated ? " (the nearest ones; zoom in for all)" : "");
}

// --- a planned route --------------------------------------------------------------------

let routeLayer = null;

function drawRoutes(answer) {
  if (routeLayer) routeLayer.remove();
  routeLayer = L.featureGroup().addTo(coreCalc.map);
  coreCalc.alternatives = answer.alternatives.map((record, i) =>
    L.polyline(latLngs(record), {
      color: ALTERNATIVE_COLOURS[i % ALTERNATIVE_COLOURS.length], weight: 3, opacity: 0.85,
      dashArray: "6 5", className: "route-alternative",
    }).bindTooltip(record.route_string, { sticky: true }).addTo(routeLayer));
  coreCalc.best = L.polyline(latLngs(answer), {
    color: BEST_COLOUR, weight: 4, className: "route-best",
  }).addTo(routeLayer);
  answer.detailed_waypoints.forEach((waypoint, i) => {
    const leg = i > 0 ? answer.legs[i - 1] : null;
    L.circleMarker([waypoint.lat, waypoint.lon], {
      radius: 4, color: BEST_COLOUR, fillColor: "#ffffff", fillOpacity: 1, weight: 2,
      className: "waypoint",
    }).bindPopup(popupFor(waypoint, leg)).addTo(routeLayer);
  });
  const ends = [answer.detailed_waypoints[0], answer.detailed_waypoints.at(-1)];
  for (const end of ends) {
    L.marker([end.lat, end.lon], { opacity: 0 })
      .bindTooltip(end === ends[0] ? answer.origin : answer.destination,
                   { permanent: true, direction: "top", className: "waypoint-label" })
      .addTo(routeLayer);
  }
  coreCalc.map.fitBounds(routeLayer.getBounds(), { padding: [40, 40] });
}

function showAnswer(answer, query) {
  $("result").hidden = false;
  $("message").className = "";
  $("message").textContent = answer.message;
  $("route-string").textContent = answer.route_string;
  const runways = $("runways");
  runways.replaceChildren();
  const r = answer.runways;
  for (const [label, runway, wind] of [["Departure", r.departure, r.departure_wind],
                                        ["Arrival", r.arrival, r.arrival_wind]]) {
    runways.append(element("dt", label), element("dd", `${runway}, wind ${wind}`));
  }
  runways.append(element("dt", "Distance"),
                 element("dd", `${answer.flown_distance_nm.toFixed(0)} NM (${answer.flown_distance_km.toFixed(0)} km)`));
  showWarnings(answer.warnings);
  const routes = $("routes");
  routes.replaceChildren();
  [answer, ...answer.alternatives].forEach((record, i) => {
    const item = element("li");
    const colour = i === 0 ? BEST_COLOUR : ALTERNATIVE_COLOURS[(i - 1) % ALTERNATIVE_COLOURS.length];
    item.append(element("span", undefined, { class: "swatch", style: `background:${colour}` }),
                `${record.flown_distance_nm.toFixed(0)} NM: ${record.route_string}`);
    routes.append(item);
  });
  const downloads = $("downloads");
  downloads.replaceChildren();
  for (const suffix of ["geojson", "gpx", "fms", "pln", "fpl"]) {
    downloads.append(element("a", `.${suffix}`, { href: `/plan.${suffix}?${query}`, download: "" }));
  }
}

function showWarnings(warnings) {
  const list = $("warnings");
  list.replaceChildren();
  if (!warnings.length) list.append(element("li", "none", { class: "none" }));
  for (const warning of warnings) {
    list.append(element("li", warning.message, { "data-code": warning.code }));
  }
}

function showFailure(answer) {
  $("result").hidden = false;
  $("message").className = "failure";
  $("message").textContent = answer.message;
  for (const id of ["route-string", "runways", "routes", "downloads"]) $(id).replaceChildren();
  showWarnings(answer.warnings || []);
  if (routeLayer) routeLayer.remove();
  coreCalc.best = null;
  coreCalc.alternatives = [];
}

async function plan(event) {
  event.preventDefault();
  const form = new FormData($("plan-form"));
  const query = new URLSearchParams();
  for (const name of PARAMS) {
    const value = (form.get(name) || "").trim();
    if (value) query.set(name, value);
  }
  document.body.dataset.state = "planning";
  $("plan-button").disabled = true;
  try {
    const response = await fetch(`/plan?${query}`);
    const answer = await response.json();
    coreCalc.answer = answer;
    if (response.ok) {
      drawRoutes(answer);
      showAnswer(answer, query);
      document.body.dataset.state = "planned";
    } else {
      showFailure(answer);
      document.body.dataset.state = "failed";
    }
  } catch (error) {
    showFailure({ message: `The service did not answer: ${error}` });
    document.body.dataset.state = "failed";
  } finally {
    $("plan-button").disabled = false;
  }
}

function start() {
  if (typeof L === "undefined") {
    $("map").textContent = "Leaflet is not installed on this host (Debian package libjs-leaflet).";
    return;
  }
  coreCalc.map = L.map("map", { zoomSnap: 0.5, worldCopyJump: true }).setView([50, 20], 4);
  L.control.scale({ imperial: false }).addTo(coreCalc.map);
  let timer = null;
  coreCalc.map.on("moveend", () => {
    clearTimeout(timer);
    timer = setTimeout(loadNetwork, 150);
  });
  loadNetwork();
  $("plan-form").addEventListener("submit", plan);
}

start();
