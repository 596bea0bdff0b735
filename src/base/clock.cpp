#include "base/clock.h"

#include <ctime>

namespace quill {
namespace {

DateTime from_tm(const std::tm& tm) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

DateTime now_local() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return from_tm(tm);
}

DateTime time_at_offset(std::chrono::system_clock::time_point when, std::chrono::minutes offset) {
  std::time_t shifted = std::chrono::system_clock::to_time_t(when + offset);
  std::tm tm{};
  gmtime_r(&shifted, &tm);
  return from_tm(tm);
}

int date_field(const DateTime& when, DateField which) {
  switch (which) {
    case DateField::year:
      return when.year;
    case DateField::month:
      return when.month;
    case DateField::day:
      return when.day;
    case DateField::hour:
      return when.hour;
    case DateField::minute:
      return when.minute;
    case DateField::second:
      return when.second;
  }
  return 0;
}

}  // namespace quill
