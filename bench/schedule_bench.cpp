// The scheduler over a whole season: 120 days of a typical schedule run
// against a model of the player (what the calendar does), from a cold
// start, sun times and all. The goal is under 2 s.
#include <benchmark/benchmark.h>

#include "bench/season_schedule.h"
#include "schedule/calendar.h"

namespace lumora::schedule {
namespace {

class TSeasonLengths final : public TShowLengths {
 public:
  std::vector<double> EntrySeconds(const std::string& file) override {
    const auto found = season::kLengths.find(file);
    return found == season::kLengths.end() ? std::vector<double>{} : found->second;
  }
};

TInstant SeasonStart() {
  const TLocalZone berlin("Europe/Berlin");
  return berlin.At(TLocalDay{date::year{2024} / 10 / 1}, std::chrono::seconds{0});
}

void Season(benchmark::State& state) {
  const TSchedule schedule = ReadSchedule(nlohmann::json::parse(season::kSchedule));
  TSeasonLengths lengths;
  const TInstant from = SeasonStart();
  std::size_t starts = 0;
  for (auto _ : state) {
    const auto calendar = ScheduleCalendar(schedule, lengths, from, from + date::days{season::kDays});
    starts = calendar.size();
    benchmark::DoNotOptimize(calendar.data());
  }
  state.counters["starts"] = static_cast<double>(starts);
}
BENCHMARK(Season)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The 14 days GET /api/schedule/range answers.
void Fortnight(benchmark::State& state) {
  const TSchedule schedule = ReadSchedule(nlohmann::json::parse(season::kSchedule));
  TSeasonLengths lengths;
  const TInstant from = SeasonStart() + date::days{80};
  for (auto _ : state) {
    const auto range = CalendarJson(ScheduleCalendar(schedule, lengths, from, from + date::days{14}), schedule, from, from + date::days{14});
    benchmark::DoNotOptimize(range.size());
  }
}
BENCHMARK(Fortnight)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumora::schedule

BENCHMARK_MAIN();
