// Per airway point metadata: (airway, node) -> sequence number text and direction
// restriction text, both kept as interned texts of the network they describe.
//
// There is about one entry per airway row, so entries are stored lean: sorted by
// (airway, node), each airway's entries form one run and an entry holds only its
// node and sequence number text; restrictions, which few rows carry, are kept
// aside by sorted position; and the order of first insertion, in which hosts see
// the entries, is a permutation of the sorted positions.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/flat_index.h"
#include "common/raw_array.h"
#include "network/route_network.h"

namespace core_calc::network {

struct MetaValue {
  NameId seqno = kNoName;        // text of the sequence number, or null
  NameId restriction = kNoName;  // restriction exactly as stored, or null when empty
};

struct MetaEntry {
  NameId route;
  NodeId node;
  MetaValue value;
};

class AirwayMeta {
 public:
  const RouteNetwork& network() const { return *network_; }
  std::size_t size() const { return order_.size(); }
  MetaEntry entry(std::size_t i) const;  // the i-th in first-insertion order
  std::optional<MetaValue> find(NameId route, NodeId node) const;
  std::size_t memory_bytes() const;

 private:
  friend class AirwayMetaBuilder;
  struct RouteRun {
    NameId route;
    std::uint32_t begin;  // the run ends where the next one begins
  };

  std::size_t run_end(std::size_t run) const;
  MetaEntry at(std::uint32_t position) const;

  std::shared_ptr<const RouteNetwork> network_;
  RawArray<NodeId> nodes_;                                      // sorted by (route, node)
  RawArray<NameId> seqnos_;                                     // parallel to nodes_
  std::vector<RouteRun> runs_;                                  // ascending route id, kNoName last
  std::vector<std::pair<std::uint32_t, NameId>> restrictions_;  // by sorted position
  RawArray<std::uint32_t> order_;  // sorted position of the i-th entry inserted
};

// Collects entries while rows are walked; a later row for the same pair replaces the value.
class AirwayMetaBuilder {
 public:
  void set(NameId route, NodeId node, MetaValue value);
  // Puts the entries into their lasting form; done early, it frees the builder's
  // working memory before the network is frozen.
  void pack();
  std::shared_ptr<const AirwayMeta> finish(std::shared_ptr<const RouteNetwork> network);

 private:
  RawArray<MetaEntry> entries_;  // first-insertion order
  FlatIndex position_;
  std::shared_ptr<AirwayMeta> packed_;
};

}  // namespace core_calc::network
