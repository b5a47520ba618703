// RouteNetwork with its graph/coord_map views, AIRWAY_META, and init_network.
#include <sys/stat.h>

#include "module/bindings.h"
#include "module/grid_handle.h"
#include "module/mapping_view.h"
#include "module/network_handle.h"
#include "navdata/database.h"
#include "network/airway_meta.h"
#include "network/network_loader.h"

namespace core_calc::module {
namespace {

using network::kNoNode;
using network::NodeId;

std::shared_ptr<const network::RouteNetwork> snapshot_of(const py::object& handle) {
  return handle.cast<const NetworkHandle&>().snapshot();
}

std::vector<py::object> key_objects(const network::RouteNetwork& net,
                                    const std::vector<NodeId>& nodes) {
  std::vector<py::object> keys;
  keys.reserve(nodes.size());
  for (NodeId id : nodes) keys.push_back(node_key_object(net, id));
  return keys;
}

// graph[u]: neighbour node key -> (distance, route id), in insertion order. Every
// method converts its argument first and then reads one snapshot.
struct AdjacencyView {
  py::object network;
  NodeId node = kNoNode;

  std::size_t size() const { return edges(*snapshot_of(network)).size(); }
  std::span<const network::Edge> edges(const network::RouteNetwork& net) const {
    if (node == kNoNode || node >= net.node_count()) return {};
    return net.edges(node);
  }
  std::vector<py::object> key_list() const {
    const auto net = snapshot_of(network);
    std::vector<py::object> keys;
    for (const network::Edge& e : edges(*net)) keys.push_back(node_key_object(*net, e.to));
    return keys;
  }
  py::object lookup(py::handle key) const {
    const auto parsed = parse_node_key(key);
    const auto net = snapshot_of(network);
    if (node == kNoNode || node >= net->node_count()) return {};
    const NodeId to = find_node(*net, parsed);
    if (to == kNoNode) return {};
    const network::Edge* e = net->find_edge(node, to);
    if (!e) return {};
    return py::make_tuple(e->dist_km, route_object(*net, e->route));
  }
  py::object on_missing(py::handle) const { return {}; }
};

// graph: node key -> adjacency. A node without outgoing edges reads as an empty
// adjacency and is not added.
struct GraphView {
  py::object network;

  std::size_t size() const { return snapshot_of(network)->graph_order().size(); }
  std::vector<py::object> key_list() const {
    const auto net = snapshot_of(network);
    return key_objects(*net, net->graph_order());
  }
  py::object lookup(py::handle key) const {
    const auto parsed = parse_node_key(key);
    const auto net = snapshot_of(network);
    const NodeId id = find_node(*net, parsed);
    if (id == kNoNode || !net->node(id).has_adjacency()) return {};
    return py::cast(AdjacencyView{network, id});
  }
  py::object on_missing(py::handle key) const {
    const auto parsed = parse_node_key(key);
    return py::cast(AdjacencyView{network, find_node(*snapshot_of(network), parsed)});
  }
};

// coord_map: node key -> (latitude, longitude); writable so hosts can build networks.
struct CoordMapView {
  py::object network;

  std::size_t size() const { return snapshot_of(network)->coord_count(); }
  std::vector<py::object> key_list() const {
    const auto net = snapshot_of(network);
    return key_objects(*net, net->coord_order());
  }
  py::object lookup(py::handle key) const {
    const auto parsed = parse_node_key(key);
    const auto net = snapshot_of(network);
    const NodeId id = find_node(*net, parsed);
    if (id == kNoNode || !net->has_coord(id)) return {};
    const geo::GridPosition at = net->coord(id);
    return py::make_tuple(at.lat, at.lon);
  }
  py::object on_missing(py::handle) const { return {}; }

  void assign(py::handle key, py::handle value) const {
    if (!PySequence_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || py::len(value) != 2)
      throw py::type_error("coord_map values must be (latitude, longitude) pairs");
    py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    const double lat = to_real(pair[0], "latitude");
    const double lon = to_real(pair[1], "longitude");
    const ParsedKey node_key = require_node_key(key, "coord_map key");
    network::NetworkBuilder& net = network.cast<NetworkHandle&>().edit();
    net.nodes().set_coord(intern_node(net, node_key), lat, lon);
  }
};

// AIRWAY_META after a load: (route id, node key) -> {"seqno", "direction_restriction"}.
struct AirwayMetaView {
  std::shared_ptr<const network::AirwayMeta> meta;

  std::size_t size() const { return meta->size(); }
  py::object key_of(const network::MetaEntry& e) const {
    return py::make_tuple(route_object(meta->network(), e.route),
                          node_key_object(meta->network(), e.node));
  }
  std::vector<py::object> key_list() const {
    std::vector<py::object> keys;
    keys.reserve(size());
    for (std::size_t i = 0; i < meta->size(); ++i) keys.push_back(key_of(meta->entry(i)));
    return keys;
  }
  py::object lookup(py::handle key) const {
    if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 2) return {};
    const auto& net = meta->network();
    py::handle route = PyTuple_GET_ITEM(key.ptr(), 0);
    network::NameId route_id = network::kNoName;
    if (!route.is_none()) {
      if (!PyUnicode_Check(route.ptr())) return {};
      route_id = net.names().find(from_text(route, "route id"));
      if (route_id == network::kNoName) return {};
    }
    const NodeId node = find_node(net, parse_node_key(PyTuple_GET_ITEM(key.ptr(), 1)));
    if (node == kNoNode) return {};
    const auto found = meta->find(route_id, node);
    if (!found) return {};
    py::dict value;
    value["seqno"] = route_object(net, found->seqno);
    value["direction_restriction"] = route_object(net, found->restriction);
    return value;
  }
  py::object on_missing(py::handle) const { return {}; }
};

bool file_exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

struct LoadTimes {
  double read_seconds = 0.0;
  double build_seconds = 0.0;
  double pause_seconds = 0.0;
  double pack_seconds = 0.0;
  std::size_t rows = 0;
  std::size_t meta_bytes = 0;
};

// Loads the network of DB_PATH. AIRWAY_META describes the network the host uses,
// so it is replaced only by a load that succeeds: a failed load leaves it as it was.
py::object load_network(LoadTimes& times, bool pause = true) {
  print_line("🚀 [System] Initializing airway network (Unique Nodes)...");
  const std::string db_path = database_path();
  if (!file_exists(db_path)) {
    print_line("Error: Database file '" + db_path + "' not found.");
    return py::cast(NetworkHandle());
  }
  const std::string suffix = attr_text("TABLE_SUFFIX");
  network::BuildOptions options;
  options.grid_size = attr_real("GRID_SIZE");
  options.ignore_direction = attr_truthy("IGNORE_AIRWAY_DIRECTION");
  options.pause = pause;

  network::LoadedNetwork loaded;
  try {
    py::gil_scoped_release release;
    loaded = network::load_network(db_path, suffix, options);  // opening failures reach the caller
  } catch (const network::AirwayReadError& e) {
    print_line(std::string("Error loading network from DB: ") + e.what());
    return py::cast(NetworkHandle());
  }
  times.read_seconds = loaded.read_seconds;
  times.build_seconds = loaded.build_seconds;
  times.pause_seconds = loaded.stats.pause_seconds;
  times.pack_seconds = loaded.stats.pack_seconds;
  times.rows = loaded.stats.rows;
  times.meta_bytes = loaded.meta->memory_bytes();
  set_attr("AIRWAY_META", py::cast(AirwayMetaView{loaded.meta}));
  print_line("✅ Network initialized: " + std::to_string(loaded.stats.edge_writes) +
             " segments. Unique Nodes Active.");
  return py::cast(NetworkHandle(std::move(loaded.network)));
}

}  // namespace

std::shared_ptr<const network::AirwayMeta> native_airway_meta(py::handle value) {
  if (!py::isinstance<AirwayMetaView>(value)) return nullptr;
  return value.cast<const AirwayMetaView&>().meta;
}

void bind_network_class(py::module_& m) {
  py::class_<AdjacencyView> adjacency(m, "_AdjacencyView");
  add_mapping_methods(adjacency);
  register_as_mapping(adjacency);
  py::class_<GraphView> graph(m, "_GraphView");
  add_mapping_methods(graph);
  register_as_mapping(graph);
  py::class_<CoordMapView> coords(m, "_CoordMapView");
  add_mapping_methods(coords);
  coords.def("__setitem__", &CoordMapView::assign);
  register_as_mapping(coords);
  py::class_<AirwayMetaView> meta(m, "_AirwayMetaView");
  add_mapping_methods(meta);
  register_as_mapping(meta);

  py::class_<NetworkHandle>(m, "RouteNetwork", doc::kRouteNetwork)
      .def(py::init<>())
      .def_property_readonly(
          "graph", [](py::object self) { return GraphView{self}; }, doc::kGraphProperty)
      .def_property_readonly(
          "coord_map", [](py::object self) { return CoordMapView{self}; }, doc::kCoordMapProperty)
      .def_property_readonly(
          "spatial_index", [](py::object self) { return GridHandle(self); },
          doc::kSpatialIndexProperty)
      .def(
          "add_edge",
          [](NetworkHandle& self, py::handle wp1, py::handle wp2, py::handle distance,
             py::handle route_id, py::handle is_bidirectional) {
            // Everything that may run host code is converted before the edit starts.
            const double dist = to_real(distance, "distance");
            const bool both = truthy(is_bidirectional);
            const ParsedKey from = require_node_key(wp1, "wp1");
            const ParsedKey to = require_node_key(wp2, "wp2");
            std::optional<std::string> route;
            if (!route_id.is_none()) route = from_text(route_id, "route_id");
            network::NetworkBuilder& net = self.edit();
            const NodeId a = intern_node(net, from);
            const NodeId b = intern_node(net, to);
            const network::NameId rid = route ? net.nodes().names.intern(*route) : network::kNoName;
            net.set_edge(a, b, dist, rid);
            if (both) net.set_edge(b, a, dist, rid);
          },
          py::arg("wp1"), py::arg("wp2"), py::arg("distance"), py::arg("route_id"),
          py::arg("is_bidirectional") = true, doc::kAddEdge);
}

void def_init_network(py::module_& m) {
  m.def(
      "init_network",
      []() {
        LoadTimes times;
        return load_network(times);
      },
      doc::kInitNetwork);
}

void def_private_tools(py::module_& m) {
  // Loads like init_network and also reports where the time went and what the
  // network occupies; used by the benchmarks.
  m.def(
      "_profile_init_network",
      [](bool pauses) {
        LoadTimes times;
        py::object network = load_network(times, pauses);
        py::dict stats;
        stats["rows"] = times.rows;
        stats["read_seconds"] = times.read_seconds;
        stats["build_seconds"] = times.build_seconds;
        stats["pause_seconds"] = times.pause_seconds;
        stats["pack_seconds"] = times.pack_seconds;
        const auto net = network.cast<const NetworkHandle&>().snapshot();
        stats["nodes"] = net->node_count();
        stats["edges"] = net->edge_count();
        stats["native_bytes_estimate"] = net->memory_bytes();
        stats["meta_bytes_estimate"] = times.meta_bytes;
        return py::make_tuple(network, stats);
      },
      py::arg("pauses") = true, doc::kProfileInit);
}

}  // namespace core_calc::module
