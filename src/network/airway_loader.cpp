#include "network/airway_loader.h"

#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "common/parallel.h"
#include "common/raw_array.h"

namespace core_calc::network {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A row as the filing half of the walk needs it.
struct WalkRow {
  static constexpr std::uint8_t kContinues = 1;
  static constexpr std::uint8_t kForbidsForward = 2;
  static constexpr std::uint8_t kForbidsBackward = 4;

  double lat;  // the node's key position
  double lon;
  NodeId node;
  NameId route;
  NameId seqno_text;
  NameId restriction;
  std::uint8_t flags;
};

// Blocks until `accept` takes the atomic's value. The other thread wakes a waiter
// once it has a batch ready, or before it waits or pauses itself.
template <class Accept>
std::uint64_t wait_until(const std::atomic<std::uint64_t>& value, Accept&& accept) {
  std::uint64_t seen = value.load(std::memory_order_acquire);
  while (!accept(seen)) {
    value.wait(seen, std::memory_order_acquire);
    seen = value.load(std::memory_order_acquire);
  }
  return seen;
}

// The leader (the calling thread) reads rows, interns their nodes and writes them
// into the ring; the follower files them in the grid and the metadata and records
// their edges, in row order. Without a second thread the leader files each row itself.
class PipelinedWalk {
 public:
  PipelinedWalk(AirwayReader& reader, const BuildOptions& options, NetworkBuilder& builder,
                AirwayMetaBuilder& meta, BuildStats& stats)
      : reader_(reader),
        options_(options),
        builder_(builder),
        nodes_(builder.nodes()),
        meta_(meta),
        stats_(stats) {}

  void run() {
    std::exception_ptr follower_error;
    try {
      run_beside([this](bool follower_runs) { lead(follower_runs); },
                 [this] {
                   try {
                     follow();
                   } catch (...) {
                     wake(consumed_, kDone);  // the leader stops handing rows over
                     throw;
                   }
                 });
    } catch (...) {
      follower_error = std::current_exception();
    }
    if (read_error_) throw AirwayReadError(*read_error_);
    if (walk_error_) std::rethrow_exception(walk_error_);
    if (follower_error) std::rethrow_exception(follower_error);
    builder_.adopt_edges(std::move(edges_), sources_);
  }

 private:
  static constexpr std::size_t kReadBlock = 64;
  static constexpr std::uint64_t kRingSize = 4096;  // a power of two
  // Progress is published every few rows and waiters are woken in batches: a thread
  // that keeps up with the other then sleeps instead of taking turns with it.
  static constexpr std::uint64_t kPublishEvery = 64;
  static constexpr std::uint64_t kWakeEvery = 1024;
  // Set in published_ when the leader is done, in consumed_ when the follower stopped.
  static constexpr std::uint64_t kDone = std::uint64_t{1} << 63;

  static void publish(std::atomic<std::uint64_t>& counter, std::uint64_t value) {
    counter.store(value, std::memory_order_release);
  }
  static void wake(std::atomic<std::uint64_t>& counter, std::uint64_t value) {
    publish(counter, value);
    counter.notify_one();
  }
  static void progress(std::atomic<std::uint64_t>& counter, std::uint64_t value) {
    if (value % kWakeEvery == 0) {
      wake(counter, value);
    } else if (value % kPublishEvery == 0) {
      publish(counter, value);
    }
  }

  // Leader. After a row fails to walk, the remaining rows are still read: a read
  // error later on is the one reported.
  void lead(bool follower_runs) {
    std::array<AirwayRow, kReadBlock> block;
    for (;;) {
      const auto start = Clock::now();
      std::size_t count = 0;
      try {
        count = reader_.read(block.data(), block.size());
      } catch (const std::exception& e) {
        read_error_ = e.what();
        break;
      }
      stats_.read_seconds += seconds_since(start);
      if (!walk_error_ && !follower_stopped_) {
        try {
          for (std::size_t i = 0; i < count && !follower_stopped_; ++i)
            walk(block[i], follower_runs);
        } catch (...) {
          walk_error_ = std::current_exception();
        }
      }
      if (count < block.size()) break;
    }
    wake(published_, written_ | kDone);
  }

  // Pauses after every 1000 rows filed; the leader reads on meanwhile, as far as
  // the ring reaches.
  void pause_every_thousand_rows(bool follower) {
    if (++stats_.rows % 1000 != 0 || !options_.pause) return;
    if (follower) wake(consumed_, filed_);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stats_.pause_seconds += seconds_since(start);
  }

  void walk(const AirwayRow& row, bool follower_runs) {
    const double lat = round_coordinate(row.lat);
    const double lon = round_coordinate(row.lon);
    const NodeId node = nodes_.intern({row.waypoint, lat, lon});
    nodes_.set_coord(node, lat, lon);
    const auto flags =
        static_cast<std::uint8_t>((row.continues ? WalkRow::kContinues : 0) |
                                  (row.forbids_forward ? WalkRow::kForbidsForward : 0) |
                                  (row.forbids_backward ? WalkRow::kForbidsBackward : 0));
    const WalkRow walked{lat, lon, node, row.route, row.seqno_text, row.restriction, flags};
    if (follower_runs) {
      hand_over(walked);
    } else {
      file_row(walked, false);
    }
  }

  void hand_over(const WalkRow& row) {
    if (written_ - consumed_seen_ >= kRingSize) {
      wake(published_, written_);
      consumed_seen_ = wait_until(consumed_, [this](std::uint64_t consumed) {
        return (consumed & kDone) || written_ - consumed < kRingSize;
      });
      if (consumed_seen_ & kDone) {
        follower_stopped_ = true;
        return;
      }
    }
    ring_[written_ & (kRingSize - 1)] = row;
    progress(published_, ++written_);
  }

  // Follower.
  void follow() {
    for (;;) {
      std::uint64_t ready = published_.load(std::memory_order_acquire);
      if ((ready & ~kDone) == filed_) {
        if (ready & kDone) return;
        wake(consumed_, filed_);
        ready = wait_until(
            published_, [this](std::uint64_t p) { return (p & kDone) || (p & ~kDone) > filed_; });
        if ((ready & ~kDone) == filed_) return;
      }
      for (const std::uint64_t until = ready & ~kDone; filed_ < until;) {
        file_row(ring_[filed_ & (kRingSize - 1)], true);
        progress(consumed_, ++filed_);
      }
    }
  }

  void add_edge(NodeId from, NodeId to, NameId route, bool measured_backward) {
    if (from >= has_edges_.size())
      has_edges_.resize(std::max<std::size_t>(from + 1, 2 * has_edges_.size()), 0);
    if (!has_edges_[from]) {
      has_edges_[from] = 1;
      sources_.push_back(from);
    }
    edges_.push_back(BulkEdge(from, to, route, measured_backward));
    ++stats_.edge_writes;
  }

  void file_row(const WalkRow& row, bool follower) {
    pause_every_thousand_rows(follower);
    meta_.set(row.route, row.node, {row.seqno_text, row.restriction});
    nodes_.grid.add_at_key_bulk(row.node, row.lat, row.lon, options_.grid_size);
    if (row.flags & WalkRow::kContinues) {
      // The edge's length is measured from the earlier row's point to this row's.
      if (options_.ignore_direction || !(row.flags & WalkRow::kForbidsForward))
        add_edge(prev_, row.node, row.route, false);
      if (options_.ignore_direction || !(row.flags & WalkRow::kForbidsBackward))
        add_edge(row.node, prev_, row.route, true);
    }
    prev_ = row.node;
  }

  AirwayReader& reader_;
  const BuildOptions& options_;
  NetworkBuilder& builder_;
  GraphNodes& nodes_;  // the leader interns nodes; the follower files the grid
  AirwayMetaBuilder& meta_;
  BuildStats& stats_;  // reading by the leader; rows, pauses and edges by the follower
  std::array<WalkRow, kRingSize> ring_;
  std::atomic<std::uint64_t> published_{0};  // rows written into the ring
  std::atomic<std::uint64_t> consumed_{0};   // rows the follower is done with
  // Leader state.
  std::uint64_t written_ = 0;
  std::uint64_t consumed_seen_ = 0;
  bool follower_stopped_ = false;
  std::optional<std::string> read_error_;
  std::exception_ptr walk_error_;
  // Follower state.
  std::uint64_t filed_ = 0;
  RawArray<BulkEdge> edges_;
  std::vector<NodeId> sources_;
  std::vector<std::uint8_t> has_edges_;
  NodeId prev_ = kNoNode;
};

}  // namespace

void walk_airways(const navdata::Database& db, const std::string& table_suffix,
                  const BuildOptions& options, NetworkBuilder& builder, AirwayMetaBuilder& meta,
                  BuildStats& stats) {
  std::optional<AirwayReader> reader;
  try {
    reader.emplace(db, table_suffix, builder.nodes().names);
  } catch (const std::exception& e) {
    throw AirwayReadError(e.what());
  }
  // The ring is sizeable for a stack: the walk lives on the heap.
  auto walk = std::make_unique<PipelinedWalk>(*reader, options, builder, meta, stats);
  walk->run();
}

}  // namespace core_calc::network
