#include "mendbin/listing_check.h"

#include <algorithm>
#include <vector>

#include "mendbin/patcher.h"

namespace mendbin {
namespace {

constexpr int kWindowBits = 23;
constexpr std::int64_t kWindowSize = std::int64_t{1} << kWindowBits;
constexpr std::int64_t kWindows = (std::int64_t{kMaxPosition} + 1) >> kWindowBits;

// Tells for each entry whether it may meet an earlier entry at its offset:
// only when its offset lies below the highest offset named before. At that
// highest offset itself the byte to check against is known here.
class Order {
 public:
  /// True when the entry at `offset` lies below the highest offset so far.
  bool below(std::int64_t offset) const { return offset < highest_; }
  bool atHighest(std::int64_t offset) const { return offset == highest_; }
  std::uint8_t byteAtHighest() const { return byteAtHighest_; }
  /// Notes that the entry at `offset` leaves `wanted` there.
  void note(std::int64_t offset, std::uint8_t wanted) {
    if (offset >= highest_) {
      highest_ = offset;
      byteAtHighest_ = wanted;
    }
  }

 private:
  std::int64_t highest_ = -1;
  std::uint8_t byteAtHighest_ = 0;
};

class Checker {
 public:
  Checker(const CheckInput& input, CheckResult& result) : in_(input), result_(result) {}

  void firstPass(ListingReader& reader);
  void windowPasses();

 private:
  void windowPass(std::int64_t window, std::vector<std::uint8_t>& bytes,
                  std::vector<std::uint64_t>& held);
  // Judges an entry that finds `found`; false after recording its error.
  bool judge(std::int64_t index, std::uint32_t offset, std::uint8_t found, const PatchEntry& e);
  bool probe(std::int64_t index, std::uint32_t offset, std::uint8_t& found);
  void fail(std::int64_t index, std::string message);
  std::uint8_t wanted(const PatchEntry& e) const { return in_.revert ? e.orgByte : e.patchByte; }

  const CheckInput& in_;
  CheckResult& result_;
  std::int64_t limit_ = -1;  ///< index of the first error found; entries from it on are moot
  std::vector<bool> deferred_ = std::vector<bool>(kWindows, false);  ///< windows to check later
};

void Checker::fail(std::int64_t index, std::string message) {
  if (limit_ >= 0 && index >= limit_) return;
  limit_ = index;
  result_.error = std::move(message);
}

bool Checker::probe(std::int64_t index, std::uint32_t offset, std::uint8_t& found) {
  std::string error;
  if (in_.probe(offset, found, error)) return true;
  fail(index, std::move(error));
  return false;
}

bool Checker::judge(std::int64_t index, std::uint32_t offset, std::uint8_t found,
                    const PatchEntry& e) {
  const std::uint8_t expected = in_.revert ? e.patchByte : e.orgByte;
  if (found == wanted(e)) {
    ++result_.alreadyApplied;  // also an entry whose two bytes are equal
  } else if (found == expected) {
    ++result_.toApply;
  } else {
    fail(index, unknownDataMessage(in_.path, offset));
    return false;
  }
  return true;
}

void Checker::firstPass(ListingReader& reader) {
  Order order;
  PatchEntry e;
  std::int64_t index = 0;
  for (; reader.next(e); ++index) {
    const std::uint32_t offset = e.offset;
    std::uint8_t found = 0;
    if (offset > kMaxPosition) {
      probe(index, offset, found);
      break;
    }
    if (!in_.verify) continue;
    if (order.below(offset)) {
      deferred_[offset >> kWindowBits] = true;
    } else {
      if (order.atHighest(offset)) {
        found = order.byteAtHighest();
      } else if (!probe(index, offset, found)) {
        break;
      }
      if (!judge(index, offset, found, e)) break;
    }
    order.note(offset, wanted(e));
  }
  result_.entries = index;
  if (limit_ < 0 && reader.stop() != ListingReader::Stop::end) {
    fail(index, in_.stopMessage(reader));
  }
}

void Checker::windowPasses() {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint64_t> held;
  for (std::int64_t w = 0; w < kWindows; ++w) {
    if (!deferred_[w]) continue;
    if (bytes.empty()) {
      bytes.resize(kWindowSize);
      held.resize(kWindowSize / 64);
    }
    std::fill(held.begin(), held.end(), 0);
    windowPass(w, bytes, held);
  }
}

// Replays the entries before the first error, holding the bytes they leave
// in this window, and judges those that the first pass left open.
void Checker::windowPass(std::int64_t window, std::vector<std::uint8_t>& bytes,
                         std::vector<std::uint64_t>& held) {
  std::unique_ptr<ListingReader> reader = in_.open();
  const std::int64_t end = limit_ >= 0 ? limit_ : result_.entries;
  Order order;
  PatchEntry e;
  std::int64_t index = 0;
  for (; index < end; ++index) {
    if (!reader->next(e)) {
      // The listing no longer reads as it did in the first pass.
      fail(index, in_.stopMessage(*reader));
      return;
    }
    const std::uint32_t offset = e.offset;
    if ((offset >> kWindowBits) == window) {
      const std::int64_t i = offset & (kWindowSize - 1);
      const bool isHeld = (held[i >> 6] >> (i & 63)) & 1;
      if (order.below(offset)) {
        std::uint8_t found = bytes[i];
        if (!isHeld && !probe(index, offset, found)) return;
        if (!judge(index, offset, found, e)) return;
      }
      bytes[i] = wanted(e);
      held[i >> 6] |= std::uint64_t{1} << (i & 63);
    }
    order.note(offset, wanted(e));
  }
}

}  // namespace

CheckResult checkListing(ListingReader& first, const CheckInput& input) {
  CheckResult result;
  Checker checker(input, result);
  checker.firstPass(first);
  checker.windowPasses();
  return result;
}

}  // namespace mendbin
