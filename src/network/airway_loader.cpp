#include "network/airway_loader.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>

#include "common/number_text.h"
#include "common/parallel.h"
#include "geo/geodesy.h"

namespace core_calc::network {
namespace {

using navdata::SqlValue;
using navdata::Statement;

enum Column { kRoute, kWaypoint, kLat, kLon, kSeqno, kRestriction, kSegment };

std::string quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

float read_coordinate(const Statement& st, int col) {
  switch (st.column_kind(col)) {
    case SqlValue::Kind::kNull:
      return std::numeric_limits<float>::quiet_NaN();
    case SqlValue::Kind::kInteger:
      return static_cast<float>(st.column_int(col));
    case SqlValue::Kind::kReal:
      return static_cast<float>(st.column_real(col));
    case SqlValue::Kind::kText: {
      double value;
      if (navdata::text_to_real(st.column_text(col), value)) return static_cast<float>(value);
      throw CoordinateError("could not convert string to float: " + quoted(st.column_text(col)));
    }
    case SqlValue::Kind::kBlob:
      break;
  }
  throw CoordinateError("could not convert a binary value to float");
}

NameId read_seqno_text(const Statement& st, int col, NameTable& names) {
  switch (st.column_kind(col)) {
    case SqlValue::Kind::kNull:
      return kNoName;
    case SqlValue::Kind::kInteger:
      return names.intern(int_text(st.column_int(col)));
    case SqlValue::Kind::kReal:
      return names.intern(float_text(st.column_real(col)));
    default:
      return names.intern(st.column_text(col));
  }
}

void read_restriction(const Statement& st, int col, NameTable& names, AirwayRow& row) {
  const SqlValue::Kind kind = st.column_kind(col);
  if (kind == SqlValue::Kind::kNull) return;
  if (kind == SqlValue::Kind::kInteger && st.column_int(col) == 0) return;
  if (kind == SqlValue::Kind::kReal && st.column_real(col) == 0.0) return;
  const std::string_view text = st.column_text(col);
  if (text.empty()) return;
  row.restriction = names.intern(text);
  for (char c : text) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == 'B') row.forbids_forward = true;
    if (upper == 'F') row.forbids_backward = true;
  }
}

SegmentKey read_segment(const Statement& st, int col, NameTable& names) {
  SegmentKey key;
  switch (st.column_kind(col)) {
    case SqlValue::Kind::kInteger:
      key.kind = SegmentKey::Kind::kInteger;
      key.integer = st.column_int(col);
      break;
    case SqlValue::Kind::kReal:
      key.kind = SegmentKey::Kind::kReal;
      key.real = st.column_real(col);
      break;
    case SqlValue::Kind::kText:
    case SqlValue::Kind::kBlob:
      key.kind = SegmentKey::Kind::kText;
      key.text = names.intern(st.column_text(col));
      break;
    case SqlValue::Kind::kNull:
      break;
  }
  return key;
}

}  // namespace

bool SegmentKey::continues(const SegmentKey& previous) const {
  using K = Kind;
  if (kind == K::kNull || previous.kind == K::kNull) return false;
  if (kind == K::kText || previous.kind == K::kText)
    return kind == previous.kind && text == previous.text;
  const bool both_int = kind == K::kInteger && previous.kind == K::kInteger;
  if (both_int) return integer == previous.integer;
  const double a = kind == K::kInteger ? static_cast<double>(integer) : real;
  const double b =
      previous.kind == K::kInteger ? static_cast<double>(previous.integer) : previous.real;
  return a == b;
}

std::vector<AirwayRow> read_airway_rows(const navdata::Database& db,
                                        const std::string& table_suffix, NameTable& names) {
  const bool use_segment_uid = table_suffix.empty();
  const std::string sql =
      use_segment_uid
          ? "SELECT route_identifier, waypoint_identifier, waypoint_latitude, waypoint_longitude, "
            "seqno, direction_restriction, segment_uid FROM airway_segments WHERE "
            "waypoint_identifier IS NOT NULL ORDER BY segment_uid, seqno"
          : "SELECT route_identifier, waypoint_identifier, waypoint_latitude, waypoint_longitude, "
            "seqno, direction_restriction FROM tbl_enroute_airways" +
                table_suffix +
                " WHERE waypoint_identifier IS NOT NULL ORDER BY route_identifier, seqno";
  Statement st(db, sql);
  std::vector<AirwayRow> rows;
  std::string last_route_text;  // consecutive rows mostly belong to one airway
  NameId last_route = kNoName;
  while (st.step()) {
    AirwayRow row;
    if (st.column_kind(kRoute) == SqlValue::Kind::kNull) {
      row.route = kNoName;
    } else if (last_route != kNoName && st.column_text(kRoute) == last_route_text) {
      row.route = last_route;
    } else {
      row.route = last_route = names.intern(st.column_text(kRoute));
      last_route_text = std::string(st.column_text(kRoute));
    }
    row.waypoint = names.intern(st.column_text(kWaypoint));
    row.lat = read_coordinate(st, kLat);
    row.lon = read_coordinate(st, kLon);
    row.seqno_text = read_seqno_text(st, kSeqno, names);
    read_restriction(st, kRestriction, names, row);
    if (use_segment_uid) {
      row.segment = read_segment(st, kSegment, names);
    } else if (row.route != kNoName) {
      row.segment.kind = SegmentKey::Kind::kText;
      row.segment.text = row.route;
    }
    rows.push_back(row);
  }
  return rows;
}

namespace {

// Rows are walked by two threads: the leader interns the node of each row (the node
// index is the part that misses the cache) and publishes its id; the follower files
// the row in the grid and the metadata and adds its edges, in row order, as soon as
// the ids are published. The results are those of one walk in row order.
class PipelinedWalk {
 public:
  PipelinedWalk(const std::vector<AirwayRow>& rows, const BuildOptions& options,
                NetworkBuilder& net, AirwayMetaBuilder& meta, BuildStats& stats)
      : rows_(rows),
        options_(options),
        net_(net),
        nodes_(net.nodes()),
        meta_(meta),
        stats_(stats),
        node_of_(rows.size()) {
    edges_.reserve(2 * rows.size());
  }

  void run() {
    run_side_by_side(
        [&] {
          try {
            lead();
          } catch (...) {
            failed_.store(true);
            publish(rows_.size() + 1);  // wakes the follower, which then stops
            throw;
          }
        },
        [&] {
          try {
            follow();
          } catch (...) {
            failed_.store(true);
            throw;
          }
        });
    net_.adopt_edges(std::move(edges_), sources_);
  }

 private:
  static constexpr std::size_t kPublishEvery = 64;
  static constexpr int kSpinsBeforeWait = 4000;

  static void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  void pause_every_thousand_rows() {
    if (++stats_.rows % 1000 != 0 || !options_.pause) return;
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stats_.pause_seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  void publish(std::size_t count) {
    published_.store(count, std::memory_order_release);
    published_.notify_one();
  }

  void lead() {
    for (std::size_t i = 0; i < rows_.size() && !failed_.load(std::memory_order_relaxed); ++i) {
      pause_every_thousand_rows();
      const AirwayRow& row = rows_[i];
      const double lat = round_coordinate(row.lat);
      const double lon = round_coordinate(row.lon);
      const NodeId node = nodes_.intern({row.waypoint, lat, lon});
      nodes_.set_coord(node, lat, lon);
      node_of_[i] = node;
      if ((i + 1) % kPublishEvery == 0) publish(i + 1);
    }
    publish(rows_.size() + 1);  // one past the end: the leader is done
  }

  void follow() {
    std::size_t next = 0;
    while (next < rows_.size()) {
      std::size_t ready = published_.load(std::memory_order_acquire);
      // The leader publishes every few microseconds while it walks: spin briefly, and
      // block only when it is pausing.
      for (int spin = 0; ready <= next && spin < kSpinsBeforeWait; ++spin) {
        cpu_relax();
        ready = published_.load(std::memory_order_acquire);
      }
      while (ready <= next) {
        published_.wait(ready, std::memory_order_acquire);
        ready = published_.load(std::memory_order_acquire);
      }
      if (failed_.load(std::memory_order_relaxed)) return;
      const std::size_t until = std::min(ready, rows_.size());
      for (; next < until; ++next) file_row(next);
    }
  }

  void add_edge(NodeId from, NodeId to, double distance, NameId route) {
    if (from >= has_edges_.size())
      has_edges_.resize(std::max<std::size_t>(from + 1, 2 * has_edges_.size()), 0);
    if (!has_edges_[from]) {
      has_edges_[from] = 1;
      sources_.push_back(from);
    }
    edges_.push_back({from, {to, route, distance}});
    ++stats_.edge_writes;
  }

  void file_row(std::size_t i) {
    const AirwayRow& row = rows_[i];
    const NodeId node = node_of_[i];
    const double lat = round_coordinate(row.lat);
    const double lon = round_coordinate(row.lon);
    meta_.set(row.route, node, {row.seqno_text, row.restriction});
    nodes_.grid.add(node, lat, lon, options_.grid_size, false);
    if (current_segment_ && row.segment.continues(*current_segment_) && prev_ != kNoNode) {
      const double distance = geo::haversine_km(prev_lat_, prev_lon_, lat, lon);
      if (options_.ignore_direction || !row.forbids_forward)
        add_edge(prev_, node, distance, row.route);
      if (options_.ignore_direction || !row.forbids_backward)
        add_edge(node, prev_, distance, row.route);
    } else {
      current_segment_ = &row.segment;
    }
    prev_ = node;
    prev_lat_ = lat;
    prev_lon_ = lon;
  }

  const std::vector<AirwayRow>& rows_;
  const BuildOptions& options_;
  NetworkBuilder& net_;
  GraphNodes& nodes_;  // the leader owns the nodes, the follower the grid
  AirwayMetaBuilder& meta_;
  BuildStats& stats_;
  std::vector<NodeId> node_of_;
  std::atomic<std::size_t> published_{0};
  std::atomic<bool> failed_{false};
  // Follower state.
  std::vector<BulkEdge> edges_;
  std::vector<NodeId> sources_;
  std::vector<std::uint8_t> has_edges_;
  const SegmentKey* current_segment_ = nullptr;
  NodeId prev_ = kNoNode;
  double prev_lat_ = 0.0, prev_lon_ = 0.0;
};

}  // namespace

std::shared_ptr<const RouteNetwork> build_network(const std::vector<AirwayRow>& rows,
                                                  const BuildOptions& options,
                                                  NetworkBuilder&& builder, AirwayMetaBuilder& meta,
                                                  BuildStats& stats) {
  builder.nodes().reserve(rows.size() / 2);  // airway points are shared by about two rows each
  builder.nodes().grid.reserve(rows.size());
  meta.reserve(rows.size());
  PipelinedWalk(rows, options, builder, meta, stats).run();
  const auto start = std::chrono::steady_clock::now();
  auto network = std::move(builder).freeze();
  stats.pack_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return network;
}

}  // namespace core_calc::network
