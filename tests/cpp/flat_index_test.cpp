// The open-addressing index behind node keys, names and grid cells, with and
// without the hash bits in its slots.
#include "common/flat_index.h"

#include <gtest/gtest.h>

#include <vector>

namespace core_calc {
namespace {

TEST(FlatIndex, FindsEveryIdThroughGrowth) {
  std::vector<std::uint64_t> keys;
  FlatIndex index;
  for (std::uint32_t i = 0; i < 10000; ++i) {
    keys.push_back(mix_hash(i * 7919ull));
    index.insert(keys.back(), i, [&](std::uint32_t id) { return keys[id]; });
  }
  for (std::uint32_t i = 0; i < keys.size(); ++i)
    ASSERT_EQ(index.find(keys[i], [&](std::uint32_t id) { return id == i; }), i);
  EXPECT_EQ(index.find(mix_hash(3), [](std::uint32_t) { return false; }), FlatIndex::kEmpty);

  // Without the hash bits every id stays found, and the index still grows.
  const std::size_t tagged_bytes = index.memory_bytes();
  index.compact();
  EXPECT_EQ(index.memory_bytes() * 2, tagged_bytes);
  for (std::uint32_t i = 10000; i < 30000; ++i) {
    keys.push_back(mix_hash(i * 7919ull));
    index.insert(keys.back(), i, [&](std::uint32_t id) { return keys[id]; });
  }
  for (std::uint32_t i = 0; i < keys.size(); ++i)
    ASSERT_EQ(index.find(keys[i], [&](std::uint32_t id) { return keys[id] == keys[i]; }), i);
  EXPECT_EQ(index.find(mix_hash(3), [](std::uint32_t) { return false; }), FlatIndex::kEmpty);
}

}  // namespace
}  // namespace core_calc
