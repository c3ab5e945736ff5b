#include "dataport/table/key_index.h"

#include <algorithm>
#include <cstring>

namespace dataport::table {

void KeyIndex::clear() {
  nodes_.assign(1, Node{});
  nodes_[0].dense = 0;
  dense_.assign(2 * 256, -1);
  labels_.clear();
  slots_.clear();
  maxKey_ = 0;
}

std::size_t KeyIndex::memoryBytes() const {
  return nodes_.capacity() * sizeof(Node) + dense_.capacity() * sizeof(std::int32_t) +
         labels_.capacity() + slots_.capacity() * sizeof(std::int32_t);
}

void KeyIndex::build(const std::vector<std::span<const std::uint8_t>>& keys) {
  std::vector<std::int32_t> tags(keys.size());
  for (std::size_t i = 0; i < tags.size(); ++i) tags[i] = static_cast<std::int32_t>(i);
  build(keys, tags);
}

// The keys are sorted (bytes, then number), so the keys below any node form
// one run of the sorted order, a key that ends at the node comes first in its
// run, and the runs of its children follow each other by their next byte.
// The trie is built from a stack of (run, depth) work items, so no recursion
// is needed, however long a key is.
void KeyIndex::build(const std::vector<std::span<const std::uint8_t>>& keys,
                     const std::vector<std::int32_t>& tags) {
  clear();
  std::vector<std::int32_t> order;
  order.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty()) continue;
    order.push_back(static_cast<std::int32_t>(i));
    maxKey_ = std::max(maxKey_, static_cast<std::int32_t>(keys[i].size()));
  }
  std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
    const auto& ka = keys[a];
    const auto& kb = keys[b];
    const std::size_t common = std::min(ka.size(), kb.size());
    const int c = common ? std::memcmp(ka.data(), kb.data(), common) : 0;
    if (c != 0) return c < 0;
    if (ka.size() != kb.size()) return ka.size() < kb.size();
    return a < b;
  });

  struct Work {
    std::size_t lo, hi;  // run of `order`
    std::size_t depth;   // bytes matched to reach the node
    std::int32_t node;
  };
  std::vector<Work> stack{{0, order.size(), 0, 0}};
  struct Group {
    std::uint8_t label;
    std::size_t lo, hi;
  };
  std::vector<Group> groups;
  while (!stack.empty()) {
    const Work w = stack.back();
    stack.pop_back();
    std::size_t i = w.lo;
    if (i < w.hi && keys[order[i]].size() == w.depth) {
      nodes_[w.node].tag = tags[order[i]];
      while (i < w.hi && keys[order[i]].size() == w.depth) ++i;
    }
    groups.clear();
    while (i < w.hi) {
      const std::uint8_t label = keys[order[i]][w.depth];
      std::size_t j = i + 1;
      while (j < w.hi && keys[order[j]][w.depth] == label) ++j;
      groups.push_back({label, i, j});
      i = j;
    }
    if (groups.empty()) continue;

    const auto count = static_cast<std::uint32_t>(groups.size());
    const bool dense = w.node != 0 && count >= kDenseMin;
    std::int32_t row = w.node == 0 ? 0 : -1;
    if (dense) {
      row = static_cast<std::int32_t>(dense_.size() / 256);
      dense_.resize(dense_.size() + 256, -1);
    }
    nodes_[w.node].count = count;
    nodes_[w.node].dense = row;
    if (row < 0) nodes_[w.node].first = static_cast<std::uint32_t>(labels_.size());
    for (const Group& g : groups) {
      // A run whose keys all end after this byte is a leaf: its slot holds
      // the tag itself.
      std::int32_t slot;
      if (keys[order[g.hi - 1]].size() == w.depth + 1) {
        slot = -2 - tags[order[g.lo]];
      } else {
        slot = static_cast<std::int32_t>(nodes_.size());
        nodes_.emplace_back();
        stack.push_back({g.lo, g.hi, w.depth + 1, slot});
      }
      if (row >= 0) {
        dense_[static_cast<std::size_t>(row) * 256 + g.label] = slot;
      } else {
        labels_.push_back(g.label);
        slots_.push_back(slot);
      }
    }
  }
  nodes_.shrink_to_fit();
  dense_.shrink_to_fit();
  labels_.shrink_to_fit();
  slots_.shrink_to_fit();
}

}  // namespace dataport::table
