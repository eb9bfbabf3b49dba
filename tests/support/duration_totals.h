// The amount of time a duration stands for, as two exact totals: months
// (a year is twelve) and seconds, both in thousandths. Read once from the
// text of a designator duration and once from a packed duration, so that a
// check can see that reading and packing lost nothing of the text. Written
// from ISO 8601 and the packed layout alone; it shares no code with the
// module.
#pragma once

#include <cstdint>
#include <string_view>

#include "entity_text.h"

namespace zbtest {

struct DurationTotals {
  __int128 months = 0;  // thousandths of a month
  __int128 ms = 0;      // thousandths of a second
};

// Seconds in one of each unit the seconds side counts; a thousandth of such
// a unit is as many thousandths of a second.
constexpr int64_t kMinute = 60, kHour = 60 * kMinute, kDay = 24 * kHour;

// One amount in a unit: 'Y' and 'M' (months) add to the months, the rest to
// the seconds ('W' weeks, 'D' days, 'H' hours, 'm' minutes, 'S' seconds).
// thousandths is the amount in thousandths of its unit.
inline void add_amount(DurationTotals *t, char unit, __int128 thousandths) {
  switch (unit) {
    case 'Y': t->months += thousandths * 12; break;
    case 'M': t->months += thousandths; break;
    case 'W': t->ms += thousandths * 7 * kDay; break;
    case 'D': t->ms += thousandths * kDay; break;
    case 'H': t->ms += thousandths * kHour; break;
    case 'm': t->ms += thousandths * kMinute; break;
    default: t->ms += thousandths; break;  // 'S'
  }
}

// Totals of a duration in designator form: an optional '-', P, then numbers
// each followed by its letter (Y M W D before a T, H M S after it, in that
// order, letters in either case), the last one may carry a decimal fraction
// of one to three digits after '.' or ','. False for any other text (which
// the caller then does not check), numbers of more than 12 digits among them.
inline bool text_totals(std::string_view s, DurationTotals *t) {
  *t = DurationTotals{};
  size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  if (i >= s.size() || (s[i] != 'P' && s[i] != 'p')) return false;
  ++i;
  static constexpr std::string_view kDate = "YMWD", kTime = "HMS";
  bool time = false, any = false, fraction_seen = false;
  size_t next = 0;  // the first letter of the present list still allowed
  while (i < s.size()) {
    if (fraction_seen) return false;  // nothing after the fraction
    if (s[i] == 'T' || s[i] == 't') {
      if (time) return false;
      time = true;
      next = 0;
      ++i;
      continue;
    }
    size_t j = i;
    __int128 whole = 0;
    for (; j < s.size() && s[j] >= '0' && s[j] <= '9'; ++j)
      if (j - i < 12) whole = whole * 10 + (s[j] - '0');
    if (j == i || j - i > 12) return false;
    __int128 thousandths = whole * 1000;
    if (j < s.size() && (s[j] == '.' || s[j] == ',')) {
      size_t k = ++j;
      int64_t f = 0;
      for (; j < s.size() && s[j] >= '0' && s[j] <= '9'; ++j)
        if (j - k < 3) f = f * 10 + (s[j] - '0');
      const size_t digits = j - k;
      if (digits < 1 || digits > 3) return false;
      for (size_t d = digits; d < 3; ++d) f *= 10;
      thousandths += f;
      fraction_seen = true;
    }
    if (j >= s.size()) return false;
    char letter = s[j];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    const std::string_view list = time ? kTime : kDate;
    const size_t at = list.find(letter);
    if (at == std::string_view::npos || at < next) return false;
    next = at + 1;
    add_amount(t, time && letter == 'M' ? 'm' : letter, thousandths);
    any = true;
    i = j + 1;
  }
  return any;
}

// Totals of a decoded packed duration: the single count in its unit, or the
// components with the fraction on the smallest one given. False for a
// datetime or the missing entity.
inline bool packed_totals(const zbhost::PackedEntity &e, DurationTotals *t) {
  using Form = zbhost::PackedEntity::Form;
  *t = DurationTotals{};
  if (e.form == Form::kSingleUnit) {
    const __int128 n = (e.unit & 0x20) ? __int128{e.count} : __int128{e.count} * 1000;
    static constexpr struct {
      unsigned code;
      char unit;
    } kUnits[] = {{1, 'M'}, {2, 'D'}, {3, 'W'}, {4, 'H'}, {8, 'm'}, {16, 'S'}};
    for (const auto &u : kUnits)
      if ((e.unit & ~0x20u) == u.code) add_amount(t, u.unit, n);
    return true;
  }
  if (e.form != Form::kDuration) return false;
  const int32_t v[6] = {e.year, e.month, e.day, e.hour, e.minute, e.second};
  static constexpr char kUnit[6] = {'Y', 'M', 'D', 'H', 'm', 'S'};
  int smallest = -1;
  for (int i = 0; i < 6; ++i) {
    if (v[i] < 0) continue;
    add_amount(t, kUnit[i], __int128{v[i]} * 1000);
    smallest = i;
  }
  if (e.fraction > 0 && smallest >= 0) add_amount(t, kUnit[smallest], e.fraction);
  return true;
}

// Whether b is the amount a is: months and seconds each the same, or, when
// days were folded into 30-day months, the sum with a month of 30 days.
inline bool same_amount(const DurationTotals &a, const DurationTotals &b, bool days_folded) {
  if (!days_folded) return a.months == b.months && a.ms == b.ms;
  constexpr int64_t kMsPerMonthThousandth = 30 * kDay;  // a month of 30 days
  return a.months * kMsPerMonthThousandth + a.ms == b.months * kMsPerMonthThousandth + b.ms;
}

}  // namespace zbtest
