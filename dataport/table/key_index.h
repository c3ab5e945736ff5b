#pragma once
// KeyIndex: a byte trie over the keys of one conversion direction, so that
// finding the longest key at an input position costs one step per input byte
// of the match, however many entries the table holds.
//
// Nodes with many children (and always the root) keep a dense array of 256
// child slots; the others keep a sorted list of (byte, slot) pairs. A node
// becomes dense only when it has at least kDenseMin children, so the dense
// arrays never cost more than 1024 / kDenseMin bytes per key byte, and a
// table of long keys stays linear in its size.
//
// Row 0 of the dense arrays is the root's; row 1 holds only -1 (see
// View::denseSlot).
//
// A slot holds -1 (no child), a node number (>= 0), or, for a key that ends
// with no longer key below it, -2 - its tag: such leaves need no node, and a
// match of a two-byte character is two array steps from the tag.

#include <cstdint>
#include <span>
#include <vector>

namespace dataport::table {

class KeyIndex {
 public:
  /// Children from which a node (other than the root) gets a dense array.
  static constexpr std::uint32_t kDenseMin = 32;

  KeyIndex() { clear(); }

  /// Indexes keys[i] under tags[i] (tags >= 0; same size as keys). Empty keys
  /// are left out (they never match). Among equal keys the lowest i wins.
  void build(const std::vector<std::span<const std::uint8_t>>& keys,
             const std::vector<std::int32_t>& tags);
  /// The same with tags[i] = i.
  void build(const std::vector<std::span<const std::uint8_t>>& keys);
  /// Forgets every key.
  void clear();

  /// Length of the longest key, 0 when there is none.
  std::int32_t maxKeyLength() const { return maxKey_; }
  /// Bytes held by the index (nodes, dense arrays, child lists).
  std::size_t memoryBytes() const;

  class View;
  /// Raw pointers to the index for a converting loop: a local copy tells
  /// the compiler that the loop's byte stores cannot change the index, so
  /// the arrays are not reloaded after every output byte.
  View view() const;

  /// Longest key that starts at in[0..n). Returns its tag (len = its
  /// length), or -1 when no key matches there. `open` tells that the walk
  /// ran to the end of the input while a longer key was still possible, so
  /// more input could change the answer.
  std::int32_t longest(const std::uint8_t* in, std::int64_t n, std::int32_t& len,
                       bool& open) const;

 private:
  struct Node {
    std::int32_t tag = -1;    ///< tag of the key ending here, or -1
    std::int32_t dense = -1;  ///< row in dense_, or -1 for a sparse node
    std::uint32_t first = 0;  ///< sparse: first child in labels_/slots_
    std::uint32_t count = 0;  ///< number of children
  };

  std::vector<Node> nodes_;
  std::vector<std::int32_t> dense_;
  std::vector<std::uint8_t> labels_;
  std::vector<std::int32_t> slots_;
  std::int32_t maxKey_ = 0;
};

class KeyIndex::View {
 public:
  /// See KeyIndex::longest.
  std::int32_t longest(const std::uint8_t* in, std::int64_t n, std::int32_t& len,
                       bool& open) const {
    len = 0;
    if (n == 0) {
      open = nodes[0].count > 0;
      return -1;
    }
    const std::int32_t slot = rootSlot(in[0]);
    open = false;
    if (slot == -1) return -1;
    len = 1;
    if (slot < 0) return -2 - slot;
    return longestFrom(slot, in, n, len, open);
  }

  /// Slot of the root's child for the byte b (see the file comment).
  std::int32_t rootSlot(std::uint8_t b) const { return dense[b]; }

  /// Slot of the child of `node` for the byte b when the node has a dense
  /// array; -1 for a sparse node. No branch: a sparse node reads a row of
  /// -1 kept for this.
  std::int32_t denseSlot(std::int32_t node, std::uint8_t b) const {
    const std::int32_t row = nodes[node].dense;
    return dense[static_cast<std::size_t>(row >= 0 ? row : 1) * 256 + b];
  }

  /// The rest of longest() once the root's child for in[0] is the node
  /// `node`: the walk goes on at in[1].
  std::int32_t longestFrom(std::int32_t node, const std::uint8_t* in, std::int64_t n,
                           std::int32_t& len, bool& open) const {
    std::int32_t best = nodes[node].tag;
    len = best >= 0 ? 1 : 0;
    std::int64_t i = 1;
    for (;;) {
      const Node& nd = nodes[node];
      if (i == n) {
        open = true;  // a node always has children
        return best;
      }
      const std::int32_t slot = child(nd, in[i]);
      if (slot == -1) {
        open = false;
        return best;
      }
      ++i;
      if (slot < 0) {
        len = static_cast<std::int32_t>(i);
        open = false;
        return -2 - slot;
      }
      node = slot;
      if (nodes[node].tag >= 0) {
        best = nodes[node].tag;
        len = static_cast<std::int32_t>(i);
      }
    }
  }

 private:
  friend class KeyIndex;
  std::int32_t child(const Node& nd, std::uint8_t b) const {
    if (nd.dense >= 0) return dense[static_cast<std::size_t>(nd.dense) * 256 + b];
    const std::uint8_t* lab = labels + nd.first;
    if (nd.count <= 8) {
      for (std::uint32_t k = 0; k < nd.count; ++k)
        if (lab[k] == b) return slots[nd.first + k];
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
    return lo < nd.count && lab[lo] == b ? slots[nd.first + lo] : -1;
  }

  const Node* nodes;
  const std::int32_t* dense;
  const std::uint8_t* labels;
  const std::int32_t* slots;
};

inline KeyIndex::View KeyIndex::view() const {
  View v;
  v.nodes = nodes_.data();
  v.dense = dense_.data();
  v.labels = labels_.data();
  v.slots = slots_.data();
  return v;
}

inline std::int32_t KeyIndex::longest(const std::uint8_t* in, std::int64_t n, std::int32_t& len,
                                      bool& open) const {
  return view().longest(in, n, len, open);
}

}  // namespace dataport::table
