// A typical season's schedule, shared by the scheduler's tests and its
// benchmark: every evening from dusk, the weekends later and longer, a
// countdown every half hour in the last week of the year, New Year's Eve
// over midnight, mornings on odd days, and commands.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lumora::schedule::season {

inline const char* const kSchedule = R"({"timezone": "Europe/Berlin", "location": {"latitude": 52.52, "longitude": 13.405}, "entries": [
    {"play": "evening.lst", "start": "dusk", "end": "22:00", "stop": "entry", "dates": ["2024-10-01", "2025-01-31"]},
    {"play": "weekend.lst", "days": ["fri", "sat"], "start": "sunset+30", "end": "23:30", "stop": "pass", "priority": 5},
    {"play": "countdown.ctl", "dates": ["2020-12-24", "2020-12-31"], "every-year": true, "start": "19:00", "end": "21:00",
     "repeat": 30, "stop": "now", "priority": 10},
    {"command": "brightness", "args": {"percent": 40}, "start": "21:30"},
    {"play": "morning.tol", "days": "odd", "start": "06:30", "end": "dawn+20", "repeat": "once", "stop": "now"},
    {"play": "newyear.lst", "dates": ["2024-12-31", "2024-12-31"], "start": "23:00", "end": "00:30", "priority": 20, "stop": "now"},
    {"command": "blackout", "args": {"on": false}, "days": ["sun"], "start": "17:00", "end": "19:00", "repeat": 60}]})";

// Seconds of each entry of the shows it plays.
inline const std::map<std::string, std::vector<double>> kLengths{{"evening.lst", {300, 420, 180}}, {"weekend.lst", {600, 900}},
                                                                 {"countdown.ctl", {240}},        {"morning.tol", {1500}},
                                                                 {"newyear.lst", {1200, 600}}};

// The season starts on 1 October 2024 in Berlin and lasts 120 days.
inline constexpr const char* kFirstDay = "2024-10-01 00:00:00";
inline constexpr int kDays = 120;

}  // namespace lumora::schedule::season
