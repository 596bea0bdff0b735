#pragma once
// Local calendar time with whole seconds.

#include <chrono>

namespace quill {

struct DateTime {
  int year = 1601, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

enum class DateField { year, month, day, hour, minute, second };

// The machine's local wall-clock time now.
DateTime now_local();
// The wall-clock time at a fixed offset from UTC (no daylight saving), e.g. +8 h.
DateTime time_at_offset(std::chrono::system_clock::time_point when, std::chrono::minutes offset);
int date_field(const DateTime& when, DateField which);

}  // namespace quill
