#pragma once
// KeyIndex: a byte trie over the keys of one conversion direction, so that
// finding the longest key at an input position costs one step per input byte
// of the match, however many entries the table holds.
//
// Nodes with many children (and always the root) keep a dense array of 256
// child numbers; the others keep a sorted list of (byte, child) pairs. A node
// becomes dense only when it has at least kDenseMin children, so the dense
// arrays never cost more than 1024 / kDenseMin bytes per key byte, and a
// table of long keys stays linear in its size.

#include <cstdint>
#include <span>
#include <vector>

namespace dataport::table {

class KeyIndex {
 public:
  /// Children from which a node (other than the root) gets a dense array.
  static constexpr std::uint32_t kDenseMin = 32;

  KeyIndex() { clear(); }

  /// Indexes keys[i] under the number i. Empty keys are left out (they never
  /// match). Among equal keys the lowest number wins.
  void build(const std::vector<std::span<const std::uint8_t>>& keys);
  /// Forgets every key.
  void clear();

  /// Length of the longest key, 0 when there is none.
  std::int32_t maxKeyLength() const { return maxKey_; }
  /// Bytes held by the index (nodes, dense arrays, child lists).
  std::size_t memoryBytes() const;

  /// Longest key that starts at in[0..n). Returns its number (len = its
  /// length), or -1 when no key matches there. `open` tells that the walk
  /// ran to the end of the input while a longer key was still possible, so
  /// more input could change the answer.
  std::int32_t longest(const std::uint8_t* in, std::int64_t n, std::int32_t& len,
                       bool& open) const {
    std::int32_t node = 0;
    std::int32_t best = -1;
    std::int64_t i = 0;
    len = 0;
    while (i < n) {
      const std::int32_t next = child(nodes_[node], in[i]);
      if (next < 0) break;
      node = next;
      ++i;
      if (nodes_[node].entry >= 0) {
        best = nodes_[node].entry;
        len = static_cast<std::int32_t>(i);
      }
    }
    open = i == n && nodes_[node].count > 0;
    return best;
  }

 private:
  struct Node {
    std::int32_t entry = -1;  ///< key number ending here, or -1
    std::int32_t dense = -1;  ///< row in dense_, or -1 for a sparse node
    std::uint32_t first = 0;  ///< sparse: first child in labels_/targets_
    std::uint32_t count = 0;  ///< number of children
  };

  std::int32_t child(const Node& nd, std::uint8_t b) const {
    if (nd.dense >= 0) return dense_[static_cast<std::size_t>(nd.dense) * 256 + b];
    const std::uint8_t* lab = labels_.data() + nd.first;
    if (nd.count <= 8) {
      for (std::uint32_t k = 0; k < nd.count; ++k)
        if (lab[k] == b) return targets_[nd.first + k];
      return -1;
    }
    std::uint32_t lo = 0, hi = nd.count;
    while (lo < hi) {
      const std::uint32_t mid = (lo + hi) / 2;
      if (lab[mid] < b)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo < nd.count && lab[lo] == b ? targets_[nd.first + lo] : -1;
  }

  std::vector<Node> nodes_;
  std::vector<std::int32_t> dense_;
  std::vector<std::uint8_t> labels_;
  std::vector<std::int32_t> targets_;
  std::int32_t maxKey_ = 0;
};

}  // namespace dataport::table
