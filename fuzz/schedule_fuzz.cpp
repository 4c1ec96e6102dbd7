// Schedules as a user or the API writes them: a schedule that reads is
// written and read back the same, and three days of it are run against the
// calendar's model of the player.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "schedule/calendar.h"

namespace {

using namespace lumora::schedule;

class TLengths final : public TShowLengths {
 public:
  std::vector<double> EntrySeconds(const std::string& file) override {
    if (file.empty()) return {};
    // Lengths from the name, so lists of many kinds play.
    std::vector<double> lengths;
    for (const char c : file.substr(0, 8)) lengths.push_back(static_cast<unsigned char>(c) * 7 % 1900 + (c == '0' ? 0 : 1));
    return lengths;
  }
};

// Runs stay short: a handful of entries, a few days.
constexpr std::size_t kMaxRunEntries = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nlohmann::json document = nlohmann::json::parse(data, data + size, nullptr, false);
  if (document.is_discarded()) return 0;
  TSchedule schedule;
  try {
    schedule = ReadSchedule(document);
  } catch (const TScheduleError&) {
    return 0;
  }
  if (!(ReadSchedule(WriteSchedule(schedule)) == schedule)) std::abort();
  if (schedule.Entries.size() > kMaxRunEntries) return 0;
  TLengths lengths;
  const TInstant from = TLocalZone(schedule.TimeZone).At(TLocalDay{date::year{2024} / 3 / 30}, std::chrono::seconds{0});
  const auto starts = ScheduleCalendar(schedule, lengths, from, from + date::days{3});
  CalendarJson(starts, schedule, from, from + date::days{3}).dump();
  return 0;
}
