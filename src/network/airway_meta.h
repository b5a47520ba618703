// Per airway point metadata: (airway, node) -> sequence number text and direction
// restriction text, both kept as interned texts of the network they describe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/flat_index.h"
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
  AirwayMeta(std::shared_ptr<const RouteNetwork> network, std::vector<MetaEntry> entries);

  const RouteNetwork& network() const { return *network_; }
  const std::vector<MetaEntry>& entries() const { return entries_; }  // first-insertion order
  const MetaEntry* find(NameId route, NodeId node) const;
  std::size_t memory_bytes() const;

 private:
  std::shared_ptr<const RouteNetwork> network_;
  std::vector<MetaEntry> entries_;
  std::vector<std::uint32_t> sorted_;  // entry indices ordered by (route, node)
};

// Collects entries while rows are walked; a later row for the same pair replaces the value.
class AirwayMetaBuilder {
 public:
  void set(NameId route, NodeId node, MetaValue value);
  void reserve(std::size_t rows) {
    entries_.reserve(rows);
    position_.reserve_for(rows);
  }
  std::shared_ptr<const AirwayMeta> finish(std::shared_ptr<const RouteNetwork> network);

 private:
  std::vector<MetaEntry> entries_;
  FlatIndex position_;
};

}  // namespace core_calc::network
