#include "mendbin/run.h"

#include <cerrno>
#include <memory>

#include "mendbin/listing_check.h"

namespace mendbin {

int applyListing(ListingReader& listing,
                 const std::function<std::string(const ListingReader&)>& stopMessage,
                 Patcher& patcher) {
  PatchEntry entry;
  while (listing.next(entry)) {
    if (!patcher.apply(entry)) return 1;
  }
  if (listing.stop() != ListingReader::Stop::end) {
    patcher.stop(stopMessage(listing));
    return 1;
  }
  if (!patcher.finish()) return 1;
  return patcher.verifyFailed() ? 1 : 0;
}

int runListing(ListingReader& first, const BeginPass& beginPass, const std::string& listingPath,
               Patcher& patcher, const Settings& settings, const Report& report,
               const Report& output) {
  auto open = [&beginPass] {
    auto reader = std::make_unique<ListingReader>(beginPass());
    reader->readFirstLine();
    return reader;
  };
  auto stopMessage = [&](const ListingReader& reader) {
    switch (reader.stop()) {
      case ListingReader::Stop::badLine:
        return badLineMessage(beginPass(), reader.badLineAt());
      case ListingReader::Stop::readError:
        return listingReadError(listingPath, reader.error());
      default:  // a later pass found fewer entries than the first one
        return listingReadError(listingPath, EIO);
    }
  };

  CheckInput input;
  input.open = open;
  input.stopMessage = stopMessage;
  input.probe = [&patcher](std::uint32_t offset, std::uint8_t& value, std::string& error) {
    return patcher.peek(offset, value, error);
  };
  input.path = patcher.path();
  input.verify = settings.verify || settings.checkOnly;
  input.revert = settings.revert;
  const CheckResult check = checkListing(first, input);
  if (!check.ok()) {
    report(check.error);
    return 1;
  }
  if (check.entries == 0) report("no differences listed\n");
  if (settings.checkOnly) {
    output("ok: " + std::to_string(check.toApply) + " entries to apply, " +
           std::to_string(check.alreadyApplied) + " already applied\n");
    return 0;
  }
  if (check.entries == 0) return 0;
  std::unique_ptr<ListingReader> listing = open();
  return applyListing(*listing, stopMessage, patcher);
}

}  // namespace mendbin
