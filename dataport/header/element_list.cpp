// Operations of the Job on its element lists: the position range, duplicate
// positions, size completion and the shifts that the modes apply.

#include <algorithm>

#include "dataport/header/arith.h"
#include "dataport/io/console.h"
#include "dataport/job.h"

namespace dataport {

bool Job::posInRange(std::int64_t pos) const { return pmin <= pos && pos < pmax; }

std::int32_t Job::countInRange() const {
  return static_cast<std::int32_t>(std::count_if(
      elements.begin(), elements.end(), [&](const Element& e) { return posInRange(e.pos); }));
}

bool Job::isNewPosition(const ElementList& list, std::int64_t pos) const {
  if (!nodups) return true;
  return std::none_of(list.begin(), list.end(), [pos](const Element& e) { return e.pos == pos; });
}

std::size_t Job::firstInRange(const ElementList& list, std::size_t start) const {
  for (std::size_t k = start; k < list.size(); ++k) {
    if (posInRange(list[k].pos)) return k;
  }
  return list.size();
}

std::int64_t Job::lastInRange(const ElementList& list) const {
  for (std::size_t k = list.size(); k > 0; --k) {
    if (posInRange(list[k - 1].pos)) return static_cast<std::int64_t>(k - 1);
  }
  return -1;
}

// Records that hold positions only: each in-range element runs up to the
// next one, the last up to pmax. Elements outside first..last keep their sizes.
void Job::fillSizes(ElementList& list) const {
  const auto first = static_cast<std::int64_t>(firstInRange(list, 0));
  const std::int64_t last = lastInRange(list);
  if (last < first) return;
  for (std::int64_t k = first; k < last; ++k) {
    list[k].size = arith::sub(list[k + 1].pos, list[k].pos);
  }
  list[last].size = arith::sub(pmax, list[last].pos);
}

void Job::shiftPositions(ElementList& list, std::int64_t delta) {
  for (Element& e : list) e.pos = arith::add(e.pos, delta);
}

void Job::addToSizes(std::int64_t delta) {
  for (Element& e : elements) e.size = arith::add(e.size, delta);
}

void Job::positionsFromSizes(ElementList& list) {
  if (list.empty()) return;
  list[0].pos = 0;
  for (std::size_t k = 1; k < list.size(); ++k) {
    list[k].pos = arith::add(list[k - 1].pos, list[k - 1].size);
  }
}

void Job::printElements() const {
  for (const Element& e : elements) {
    io::out("%d\t%lld\t%lld\t(%llx\t%llx)\n", static_cast<int>(e.index),
            static_cast<long long>(e.pos), static_cast<long long>(e.size),
            static_cast<unsigned long long>(e.pos), static_cast<unsigned long long>(e.size));
  }
}

std::int64_t Job::headerRecords() const {
  std::int64_t records = static_cast<std::int64_t>(headerList.size());
  for (const Element& e : headerList) records = std::max<std::int64_t>(records, e.index + std::int64_t{1});
  return records;
}

}  // namespace dataport
