// The route searches of one request, shared by its workers. Many departure x
// arrival combinations leave from the same exit fix and enter at the same fix, so
// they ask for the same search: same start and end nodes, target point and
// previous point, no penalties. Such a search runs once; every other caller gets
// its result, which is what it would have computed itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "network/route_search.h"

namespace core_calc::planning {

struct SearchKey {
  network::NodeId start;
  network::NodeId end;
  network::LatLon target;
  std::optional<network::LatLon> prev;

  bool operator==(const SearchKey& o) const;
};

struct SearchKeyHash {
  std::size_t operator()(const SearchKey& key) const;
};

class SearchCache {
 public:
  // The result for `key`: computed by `run` on the first call, waited for by calls
  // that come while it runs, and shared afterwards.
  template <class Run>
  std::shared_ptr<const network::SearchResult> get(const SearchKey& key, Run&& run) {
    std::shared_ptr<Slot> slot;
    {
      std::lock_guard lock(mutex_);
      ++requests_;
      auto& entry = slots_[key];
      if (!entry) entry = std::make_shared<Slot>();
      slot = entry;
    }
    std::call_once(slot->once, [&] {
      runs_.fetch_add(1, std::memory_order_relaxed);
      slot->result = std::make_shared<const network::SearchResult>(run());
    });
    return slot->result;
  }

  // Searches asked for, and searches that actually ran.
  std::size_t requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::size_t runs() const { return runs_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    std::once_flag once;
    std::shared_ptr<const network::SearchResult> result;
  };
  mutable std::mutex mutex_;
  std::unordered_map<SearchKey, std::shared_ptr<Slot>, SearchKeyHash> slots_;
  std::size_t requests_ = 0;
  std::atomic<std::size_t> runs_{0};
};

// A worker's route search, answered from the request's cache when one is shared
// and the search carries no penalties.
class CachedSearch {
 public:
  CachedSearch(network::RouteSearch& search, SearchCache* cache) : search_(search), cache_(cache) {}

  std::shared_ptr<const network::SearchResult> run(network::NodeId start, network::NodeId end,
                                                   network::LatLon target,
                                                   std::optional<network::LatLon> prev,
                                                   const network::EdgePenalties* penalties);

 private:
  network::RouteSearch& search_;
  SearchCache* cache_;
};

}  // namespace core_calc::planning
