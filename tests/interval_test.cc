// Interval derivation and the calendar arithmetic between datetimes: the
// month-length table, durations between datetimes (checked against
// std::chrono), ends and starts reached by a duration, and interval texts.
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "support/entity_view.h"
#include "support/fixture.h"

namespace {

using namespace std::chrono;

using zbtest::Entity;

using LastdayFn = double (*)(int32_t, int32_t);
using PairFn = int32_t (*)(const Entity *, const Entity *, Entity *);
using DeriveFn = int32_t (*)(const char *, int32_t, Entity *, Entity *, int32_t);

constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
const std::string kMissing16(16, 'F');

using zbtest::hex;
std::string hex(const Entity &e) { return hex(e.packed, 8); }

constexpr sys_days kEpoch = sys_days{year{1960} / January / 1};

// A datetime entity at y-m-d hh:mm:ss (host seconds from 1960), every
// component given.
Entity at(int y, unsigned m, unsigned d, int hh = 0, int mi = 0, double s = 0) {
  Entity e{};
  auto days = (sys_days{year{y} / month{m} / day{d}} - kEpoch).count();
  e.datetime = static_cast<double>(days) * 86400.0 + hh * 3600.0 + mi * 60.0 + s;
  e.year = y;
  e.month = m;
  e.day = d;
  e.hour = hh;
  e.minute = mi;
  e.second = static_cast<int64_t>(std::floor(s));
  e.fraction = static_cast<int64_t>((s - std::floor(s)) * 1000.0);
  e.is_datetime = 1;
  return e;
}

// A component-form duration; zero components are absent, as the scanner
// leaves them.
Entity duration(int64_t y, int64_t mo, int64_t d, int64_t h = 0, int64_t mi = 0, int64_t s = 0,
                int64_t frac = 0, bool negative = false) {
  Entity e{};
  const int64_t v[] = {y, mo, d, h, mi, s, frac};
  int64_t *f[] = {&e.year, &e.month, &e.day, &e.hour, &e.minute, &e.second, &e.fraction};
  for (int i = 0; i < 7; ++i) {
    *f[i] = v[i];
    if (v[i] == 0) e.absent |= static_cast<uint8_t>(0x80u >> i);
  }
  e.negative = negative ? 1 : 0;
  return e;
}

// Every byte but the trailing padding.
bool same(const Entity &a, const Entity &b) {
  return std::memcmp(&a, &b, offsetof(Entity, days_kept) + 1) == 0;
}

class IntervalTest : public zbtest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    lastday = fn<LastdayFn>("get_lastday");
    between = fn<PairFn>("compute_duration");
    end_of = fn<PairFn>("compute_end");
    start_of = fn<PairFn>("compute_start");
    derive = fn<DeriveFn>("derive_interval");
    ASSERT_TRUE(lastday && between && end_of && start_of && derive);
  }
  LastdayFn lastday = nullptr;
  PairFn between = nullptr, end_of = nullptr, start_of = nullptr;
  DeriveFn derive = nullptr;
};

TEST_F(IntervalTest, MonthLengthTable) {
  auto table = static_cast<const int32_t *>(sym("daysinmonth"));
  ASSERT_NE(table, nullptr);
  const int32_t want[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(table[i], want[i]) << "month " << i;
  EXPECT_NE(sym("daysinmonth", true), nullptr);
}

TEST_F(IntervalTest, LastDay) {
  struct Row {
    int32_t month, year;
    double want;
    const char *why;
  } rows[] = {
      {2, 1804, 29, "divisible by 4"},
      {2, 2000, 29, "divisible by 400"},
      {2, 1600, 29, "divisible by 400"},
      {2, 1900, 28, "century"},
      {2, 4000, 28, "divisible by 4000"},
      {2, 2011, 28, "common year"},
      {4, 2011, 30, "April"},
      {12, 2011, 31, "December"},
      {0, 2011, 0, "month 0"},
      {13, 2011, 31, "13 is January"},
      {14, 2012, 29, "14 is February, leap year"},
      {14, 2011, 28, "14 is February"},
      {24, 2011, 31, "multiple of 12"},
      {std::numeric_limits<int32_t>::max(), 2011, 31, "largest month folds to July"},
      {-1, 2011, 0, "negative month: none"},
      {-10, 2012, 0, "negative month: none"},
      {std::numeric_limits<int32_t>::min(), 2012, 0, "most negative month"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    EXPECT_EQ(lastday(r.month, r.year), r.want) << r.month << "/" << r.year;
  }
  for (int32_t y : {std::numeric_limits<int32_t>::min(), -4, std::numeric_limits<int32_t>::max()}) {
    double d = lastday(2, y);
    EXPECT_TRUE(d == 28 || d == 29) << y;
  }
}

TEST_F(IntervalTest, DurationBetweenDatetimes) {
  struct Row {
    Entity start, end;
    int64_t y, mo, d, h, mi, s, frac;
    zbtest::Packed want;
    const char *why;
  } rows[] = {
      {at(2011, 1, 31), at(2011, 2, 28), 0, 1, 0, 0, 0, 0, 0,
       {"FFFF1FFFFFFFFFFC", "P1M"}, "month-end rule"},
      {at(2011, 1, 15, 12), at(2011, 2, 15, 11), 0, 0, 30, 23, 0, 0, 0,
       {"FFFFF3023FFFFFFC", "P30DT23H"}, "same day, time borrowed"},
      {at(2011, 1, 31, 12), at(2011, 2, 28, 11), 0, 0, 27, 23, 0, 0, 0,
       {"FFFFF2723FFFFFFC", "P27DT23H"}, "no month-end rule after a borrow"},
      {at(2011, 1, 30), at(2011, 3, 1), 0, 1, 2, 0, 0, 0, 0,
       {"FFFF102FFFFFFFFC", "P1M2D"}, "partial month counted in January"},
      {at(2010, 3, 15), at(2011, 9, 9, 6, 30), 1, 5, 25, 6, 30, 0, 0,
       {"00015250630FFFFC", "P1Y5M25DT6H30M"}, "years, months, days and time"},
      {at(2012, 2, 29), at(2013, 2, 28), 1, 0, 0, 0, 0, 0, 0,
       {"0001FFFFFFFFFFFC", "P1Y"}, "leap day to the end of a common February"},
      {at(2011, 9, 9), at(2011, 9, 9, 0, 0, 0.5), 0, 0, 0, 0, 0, 0, 500,
       {"FFFFFFFFFFFFF7D0", "PT0.500S"}, "half a second"},
      {at(2011, 9, 9, 12), at(2011, 9, 9, 12), 0, 0, 0, 0, 0, 0, 0,
       {"000000000000000E", "P0W"}, "zero: zero weeks"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    for (bool swapped : {false, true}) {
      Entity o;
      std::memset(&o, 0x5A, sizeof o);
      ASSERT_EQ(swapped ? between(&r.end, &r.start, &o) : between(&r.start, &r.end, &o), 0);
      const int64_t got[] = {o.year, o.month, o.day, o.hour, o.minute, o.second, o.fraction};
      const int64_t want[] = {r.y, r.mo, r.d, r.h, r.mi, r.s, r.frac};
      for (int i = 0; i < 7; ++i) EXPECT_EQ(got[i], want[i]) << "component " << i;
      EXPECT_EQ(o.is_datetime, 0);
      bool zero = std::string(r.want.hex) == "000000000000000E";
      EXPECT_EQ(o.negative, swapped && !zero ? 1 : 0);
      if (!swapped) {
        zbtest::expect_packed(hex(o), r.want);
      }
      if (zero) {
        EXPECT_EQ(o.absent, 0xFE);
        EXPECT_EQ(o.unit, 3);
      }
    }
  }
}

TEST_F(IntervalTest, DurationOfMissingIsMissing) {
  Entity a = at(2011, 9, 9), b = at(2011, 9, 9);
  b.datetime = ifm_missing();
  Entity o{};
  EXPECT_EQ(between(&a, &b, &o), 0);
  EXPECT_EQ(o.absent, 0xFF);
  EXPECT_TRUE(ifm_is_missing(o.datetime));
  EXPECT_EQ(hex(o), kMissing16);
  EXPECT_EQ(between(&b, &a, &o), 0);
  EXPECT_EQ(hex(o), kMissing16);
  // No datetime at all: no calendar date, nothing handed to the host.
  a.datetime = 1e300;
  EXPECT_EQ(between(&a, &b, &o), 0);
  EXPECT_EQ(hex(o), kMissing16);
}

TEST_F(IntervalTest, DurationBeyondFourDigitYearsIsRefused) {
  // The host's calendar reaches past 9999; four year digits do not.
  Entity a = at(1600, 1, 1), b = at(19000, 1, 1), o{};
  EXPECT_EQ(between(&a, &b, &o), 7);
  EXPECT_EQ(hex(o), kMissing16);
  b = at(11599, 1, 1);
  EXPECT_EQ(between(&a, &b, &o), 0);
  EXPECT_EQ(o.year, 9999);
}

TEST_F(IntervalTest, OutputMayBeAnInput) {
  Entity a = at(2010, 3, 15), b = at(2011, 9, 9, 6, 30), o{};
  ASSERT_EQ(between(&a, &b, &o), 0);
  Entity in_place = a;
  ASSERT_EQ(between(&in_place, &b, &in_place), 0);
  EXPECT_TRUE(same(in_place, o));
}

// The duration from s to e as whole months stepped from s's day, with the
// month-end rule (a start on the 29th or later reaching the last day of a
// shorter month counts the month), the days left (counted in s's month when
// the end's day is earlier than the start's) and the clock time, a day of it
// borrowed when the end's time of day is earlier.
struct Expected {
  int64_t months, days, seconds;
  bool natural;    // s + months + days + seconds is exactly e
  bool month_end;  // the month-end rule applied
};

Expected reference(sys_days sd, seconds ts, sys_days ed, seconds te) {
  Expected x{};
  bool borrow = te < ts;
  x.seconds = (te - ts).count() + (borrow ? 86400 : 0);
  year_month_day a{sd}, b{ed};
  year_month am = a.year() / a.month(), bm = b.year() / b.month();
  int64_t delta = (bm - am).count();
  unsigned da = unsigned(a.day()), db = unsigned(b.day());
  bool b_is_last = b == year_month_day{bm / last};
  if (!borrow && da >= 29 && da > db && b_is_last) {
    x.months = delta;
    x.days = 0;
    x.month_end = true;
  } else if (db > da || (db == da && !borrow)) {
    x.months = delta;
    x.days = db - da - (borrow ? 1 : 0);
    x.natural = true;
  } else {
    x.months = delta - 1;
    auto left_in_a = (sys_days{am / last} - sd).count();
    x.days = left_in_a + db - (borrow ? 1 : 0);
  }
  return x;
}

TEST_F(IntervalTest, DurationAgreesWithChrono) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state](uint64_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (state >> 33) % n;
  };
  int checked = 0, month_end = 0, borrowed = 0;
  for (int i = 0; i < 6000; ++i) {
    // Years before 4000, where the calendars agree on leap years.
    int y = 1600 + static_cast<int>(next(2300));
    auto ym = year{y} / month{static_cast<unsigned>(1 + next(12))};
    unsigned last_d = unsigned(year_month_day{ym / last}.day());
    // Starts near the end of months are drawn often, for the month-end rule.
    unsigned d = next(3) == 0 ? last_d - static_cast<unsigned>(next(3)) : 1 + next(last_d);
    sys_days sd{ym / day{d}};
    sys_days ed;
    switch (next(3)) {
      case 0:  // the last day of a later month
        ed = sys_days{(ym + months{static_cast<int>(next(30))}) / last};
        break;
      case 1:  // the same day of a later month
        ed = sd + days{(sys_days{(ym + months{static_cast<int>(next(30))}) / 1} - sys_days{ym / 1})};
        break;
      default:
        ed = sd + days{static_cast<int>(next(1500))};
    }
    if (ed < sd) ed = sd;
    seconds ts{static_cast<int64_t>(next(86400))}, te{static_cast<int64_t>(next(86400))};
    if (ed == sd && te < ts) std::swap(ts, te);

    Entity s{}, e{};
    s.datetime = static_cast<double>((sd - kEpoch).count()) * 86400.0 + ts.count();
    e.datetime = static_cast<double>((ed - kEpoch).count()) * 86400.0 + te.count();
    for (Entity *x : {&s, &e}) {
      year_month_day c{x == &s ? sd : ed};
      x->year = int(c.year());
      x->month = unsigned(c.month());
      x->day = unsigned(c.day());
      x->is_datetime = 1;
    }
    Expected want = reference(sd, ts, ed, te);
    SCOPED_TRACE(std::to_string(s.year) + "-" + std::to_string(s.month) + "-" +
                 std::to_string(s.day) + " +" + std::to_string(ts.count()) + "s to " +
                 std::to_string(e.year) + "-" + std::to_string(e.month) + "-" +
                 std::to_string(e.day) + " +" + std::to_string(te.count()) + "s");
    Entity fwd{}, back{};
    ASSERT_EQ(between(&s, &e, &fwd), 0);
    ASSERT_EQ(between(&e, &s, &back), 0);
    EXPECT_EQ(fwd.year * 12 + fwd.month, want.months);
    EXPECT_EQ(fwd.day, want.days);
    EXPECT_EQ(fwd.hour * 3600 + fwd.minute * 60 + fwd.second, want.seconds);
    EXPECT_EQ(fwd.negative, 0);
    EXPECT_EQ(std::memcmp(&fwd.year, &back.year, 7 * sizeof(int64_t)), 0) << "exchanged";
    EXPECT_EQ(back.negative, s.datetime < e.datetime ? 1 : 0);
    if (want.natural) {
      // Stepping forward by the result reaches the end exactly.
      year_month_day a{sd};
      sys_days mid{(a.year() / a.month() + months{want.months}) / a.day()};
      EXPECT_EQ(mid + days{fwd.day} + seconds{ts.count() + want.seconds},
                ed + seconds{te.count()});
    }
    ++checked;
    month_end += want.month_end;
    borrowed += te < ts;
    if (HasFailure()) return;
  }
  EXPECT_GT(month_end, 50);
  EXPECT_GT(borrowed, 1000);
  EXPECT_EQ(checked, 6000);
}

TEST_F(IntervalTest, EndAndStart) {
  struct Row {
    bool end;  // compute_end(from, dur), else compute_start(dur, from)
    Entity from, dur;
    Entity want;
    const char *why;
  } rows[] = {
      {true, at(2011, 1, 31, 10), duration(0, 1, 0), at(2011, 2, 28, 10), "limited to February"},
      {true, at(2011, 12, 15), duration(0, 12, 0), at(2012, 12, 15), "twelve months carried"},
      {true, at(2011, 11, 30), duration(1, 3, 0), at(2013, 2, 28), "year and months carried"},
      {true, at(2011, 1, 31), duration(0, 1, 1), at(2011, 3, 1), "days after the month"},
      {true, at(2011, 9, 9, 12), duration(0, 0, 0, 1, 30, 15), at(2011, 9, 9, 13, 30, 15),
       "clock time"},
      {true, at(2011, 9, 9, 12), duration(0, 0, 1, 0, 0, 0, 0, true), at(2011, 9, 8, 12),
       "negative: counted backward"},
      {false, at(2011, 9, 9, 12), duration(0, 0, 0, 1), at(2011, 9, 9, 11), "one hour before"},
      {false, at(2011, 3, 15), duration(0, 3, 0), at(2010, 12, 15), "March less 3 months"},
      {false, at(2011, 3, 15), duration(0, 15, 0), at(2009, 12, 15), "March less 15 months"},
      {false, at(2011, 3, 31), duration(0, 1, 0), at(2011, 2, 28), "limited to February"},
      {false, at(2011, 3, 1), duration(0, 0, 1, 0, 0, 1), at(2011, 2, 27, 23, 59, 59),
       "days and seconds before the month"},
      {false, at(2011, 9, 9, 12, 0, 0.5), duration(0, 0, 0, 1), at(2011, 9, 9, 11, 0, 0.5),
       "the end's sub-second kept"},
      {false, at(2011, 9, 8, 12), duration(0, 0, 1, 0, 0, 0, 0, true), at(2011, 9, 9, 12),
       "negative: counted forward"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    Entity dur = r.dur, from = r.from;
    Entity o;
    std::memset(&o, 0x5A, sizeof o);
    int32_t rc = r.end ? end_of(&from, &dur, &o) : start_of(&dur, &from, &o);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(o.datetime, r.want.datetime);
    EXPECT_EQ(o.is_datetime, 1);
    EXPECT_EQ(o.absent, 0);
    const int64_t got[] = {o.year, o.month, o.day, o.hour, o.minute, o.second, o.fraction};
    const int64_t want[] = {r.want.year, r.want.month,  r.want.day,     r.want.hour,
                            r.want.minute, r.want.second, r.want.fraction};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(got[i], want[i]) << "component " << i;
    EXPECT_TRUE(same(dur, r.dur)) << "duration changed";
    EXPECT_TRUE(same(from, r.from)) << "datetime changed";
  }
  // The packed form shows the instant reached.
  Entity a = at(2011, 1, 31, 10), p = duration(0, 1, 0), o{};
  ASSERT_EQ(end_of(&a, &p, &o), 0);
  zbtest::expect_packed(hex(o), {"2011228100000001", "2011-02-28T10:00:00.000"});
}

TEST_F(IntervalTest, EndAndStartAddTheFraction) {
  Entity a = at(2011, 9, 9, 12), p = duration(0, 0, 0, 1, 0, 0, 500), o{};
  ASSERT_EQ(end_of(&a, &p, &o), 0);
  EXPECT_EQ(o.datetime, at(2011, 9, 9, 13, 30).datetime);
  EXPECT_EQ(o.minute, 30);
  ASSERT_EQ(start_of(&p, &a, &o), 0);
  EXPECT_EQ(o.datetime, at(2011, 9, 9, 10, 30).datetime);
}

TEST_F(IntervalTest, EndAndStartOnMissingOrUnreachableDates) {
  Entity a = at(2011, 9, 9), p = duration(0, 1, 0), o{};
  Entity gone = a;
  gone.datetime = ifm_missing();
  EXPECT_EQ(start_of(&p, &gone, &o), 0);
  EXPECT_EQ(o.absent, 0xFF);
  EXPECT_TRUE(ifm_is_missing(o.datetime));
  EXPECT_EQ(hex(o), kMissing16);

  struct Row {
    bool end;
    Entity from, dur;
    int32_t rc;
    const char *why;
  } rows[] = {
      {true, at(9999, 6, 1), duration(1, 0, 0), 7, "year 10000 has no four digits"},
      {false, at(9999, 6, 1), duration(1, 0, 0, 0, 0, 0, 0, true), 7,
       "a start after the end: year 10000 again"},
      {false, at(2011, 9, 9), duration(600, 0, 0), 0, "before the host's calendar: missing"},
      {true, at(2011, 9, 9), duration(0, kMax64, 0), 0, "month count overflows"},
      {true, at(2011, 9, 9), duration(kMax64, kMax64, 0), 0, "years and months overflow"},
      {false, at(2011, 9, 9), duration(0, kMax64, 0), 0, "month count overflows backward"},
      {false, at(2011, 9, 9), duration(kMax64 / 12 + 1, 0, 0), 0, "years overflow backward"},
      {true, at(2011, 9, 9), duration(0, 0, kMax64), 0, "day count beyond any date"},
      {false, at(2011, 9, 9), duration(0, 0, kMax64, kMax64, kMax64, kMax64), 0,
       "every count at its largest"},
      {true, at(2011, 9, 9), duration(0, 0, 0, kMax64, 0, 0), 0, "hour count beyond any date"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    std::memset(&o, 0x5A, sizeof o);
    int32_t rc = r.end ? end_of(&r.from, &r.dur, &o) : start_of(&r.dur, &r.from, &o);
    EXPECT_EQ(rc, r.rc);
    EXPECT_EQ(o.absent, 0xFF);
    EXPECT_EQ(hex(o), kMissing16);
  }
  // A start whose own components are out of all reach.
  Entity wild = at(2011, 9, 9);
  wild.year = std::numeric_limits<int64_t>::min();
  wild.month = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(end_of(&wild, &p, &o), 0);
  EXPECT_EQ(hex(o), kMissing16);
}

// ---- derive_interval: needs the scanner ----

// The two packed entities of an interval ("" = all F) and the interval's
// ISO text by the host's decoder.
struct Interval {
  const char *first, *second, *iso;
};
constexpr Interval kNoInterval{"", "", "."};

struct DeriveRow {
  const char *text;
  int32_t mode;
  int32_t rc;
  Interval want;
  const char *why;
};

// The packed parts exactly, and the row's text against the decoder's.
void expect_interval(const Entity &first, const Entity &second, const Interval &want) {
  EXPECT_EQ(hex(first), *want.first ? want.first : kMissing16);
  EXPECT_EQ(hex(second), *want.second ? want.second : kMissing16);
  EXPECT_EQ(zbtest::iso_text(hex(first) + hex(second)), want.iso)
      << "decoded from " << hex(first) << hex(second);
}

TEST_F(IntervalTest, DeriveInterval) {
  const char *const kDate = "2011909FFFFFFFFD";
  const DeriveRow rows[] = {
      {"", 0, 13, kNoInterval, "empty"},
      {"     ", 0, 13, kNoInterval, "blank"},
      {"/P1D", 0, 13, kNoInterval, "nothing before the slash"},
      {"  /2011-09-09", 0, 13, kNoInterval, "blanks before the slash"},
      {"P1D/P2D", 0, 14, kNoInterval, "two durations"},
      {"2011-09-09", 0, 16, kNoInterval, "a datetime alone"},
      {"2011-09-09/", 0, 16, kNoInterval, "a datetime and a slash"},
      {"2011-09-09/   ", 0, 16, kNoInterval, "a datetime, a slash and blanks"},
      {"P2D", 0, 0, {"1960101000000003", "FFFFF02FFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P2D"},
       "lone duration: January start"},
      {"  P2D  ", 0, 0,
       {"1960101000000003", "FFFFF02FFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P2D"},
       "lone duration with blanks"},
      {"P1M30D", 0, 0,
       {"1960201000000003", "FFFF130FFFFFFFFC", "(ref 1960-02-01T00:00:00.000)/P1M30D"},
       "1 month 30 days: February"},
      {"P1M31D", 0, 0,
       {"1960201000000003", "FFFF131FFFFFFFFC", "(ref 1960-02-01T00:00:00.000)/P1M31D"},
       "1 month 31 days: February"},
      {"P3M31D", 0, 0,
       {"1960201000000003", "FFFF331FFFFFFFFC", "(ref 1960-02-01T00:00:00.000)/P3M31D"},
       "3 months 31 days: February"},
      {"P2M31D", 0, 0,
       {"1960101000000003", "FFFF231FFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P2M31D"},
       "2 months 31 days: January"},
      {"P1M29D", 0, 0,
       {"1960101000000003", "FFFF129FFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P1M29D"},
       "1 month 29 days: January"},
      {"P1M/", 0, 0, {"1960101000000003", "FFFF1FFFFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P1M"},
       "lone duration and a slash"},
      {"2011-09-09/2011-09-10", 0, 0, {kDate, "2011910FFFFFFFFD", "2011-09-09/2011-09-10"},
       "two datetimes"},
      {"2011-09-10/2011-09-09", 0, 0, {"2011910FFFFFFFFD", kDate, "2011-09-10/2011-09-09"},
       "start after end: kept"},
      {"2011-09-09/P1D", 0, 0, {kDate, "FFFFF01FFFFFFFFC", "2011-09-09/P1D"},
       "duration not normalised"},
      {"P1D/2011-09-09", 0, 0, {"FFFFF01FFFFFFFFC", kDate, "P1D/2011-09-09"},
       "duration before its end"},
      {"2011-09-09/PT36H", 0, 0, {kDate, "0000000000002412", "2011-09-09/PT36H"},
       "single unit: as scanned"},
      {"2011-01-31/P1M40D", 0, 0, {"2011131FFFFFFFFD", "FFFF209FFFFFFFFC", "2011-01-31/P2M9D"},
       "1 month 40 days after Jan 31: 2 months 9 days"},
      {"P1M40D/2011-04-09", 0, 0, {"FFFF212FFFFFFFFC", "2011409FFFFFFFFD", "P2M12D/2011-04-09"},
       "1 month 40 days before Apr 9: 2 months 12 days"},
      {"P2M40D/2011-01-15", 0, 0, {"FFFF309FFFFFFFFC", "2011115FFFFFFFFD", "P3M9D/2011-01-15"},
       "2 months 40 days before Jan 15: 3 months 9 days"},
      {"2011-09-09T10:00/P1DT36H", 0, 0,
       {"20119091000FFFFD", "FFFFF0212FFFFFFC", "2011-09-09T10:00/P2DT12H"},
       "the duration's clock time is kept"},
      {"P1DT36H/2011-09-09T10:00", 0, 0,
       {"FFFFF0212FFFFFFC", "20119091000FFFFD", "P2DT12H/2011-09-09T10:00"},
       "backward, clock time kept"},
      {"2011-12-15/P12M40D", 0, 0, {"2011C15FFFFFFFFD", "0001109FFFFFFFFC", "2011-12-15/P1Y1M9D"},
       "12 months 40 days after Dec 15: a year, a month, 9 days"},
      {"2011.5/P1M40D", 0, 0, {"2011FFFFFFFFF7D1", "FFFF209FFFFFFFFC", "2011.500/P2M9D"},
       "from the anchor's instant (July 1), not its written components"},
      {"2011-09-09T12:30:45.069178/2011-09-10T00:00:00.0005", 0x80, 0,
       {"2011909123045115", "2011910000000001", "2011-09-09T12:30:45.069/2011-09-10T00:00:00.000"},
       "fraction digits by their count at both ends"},
      {"P1DT2.0691H/2011-09-10", 0x200, 0,
       {"FFFFF0102FFFF114", "2011910FFFFFFFFD", "P1DT2.069H/2011-09-10"},
       "a duration's long fraction"},
      {"PT36.0691H", 0, 0,
       {"1960101000000003", "00000000008CE592", "(ref 1960-01-01T00:00:00.000)/PT36.069H"},
       "a lone duration in thousandths"},
      {"2011-13-01/P1D", 0, 7, kNoInterval, "the scanner's problem, first part"},
      {"2011-09-09/P1X", 0, 1, kNoInterval, "the scanner's problem, second part"},
      {"20110909/2011-09-10", 0x80, 18, kNoInterval, "strict mode is passed on"},
      {"20110909/2011-09-10", 0, 0, {kDate, "2011910FFFFFFFFD", "2011-09-09/2011-09-10"},
       "lenient mode"},
      {"2011-09-09/P", 0, 16, kNoInterval, "empty duration after a datetime: a datetime alone"},
  };
  for (const DeriveRow &r : rows) {
    SCOPED_TRACE(std::string("'") + r.text + "': " + r.why);
    zbtest::GuardedField field(r.text);
    Entity first, second;
    std::memset(&first, 0x5A, sizeof first);
    std::memset(&second, 0x5A, sizeof second);
    EXPECT_EQ(derive(field.data(), static_cast<int32_t>(field.size()), &first, &second, r.mode),
              r.rc);
    expect_interval(first, second, r.want);
  }
}

TEST_F(IntervalTest, DeriveReferenceStartRecord) {
  Entity first{}, second{};
  ASSERT_EQ(derive("P1M30D", 6, &first, &second, 0), 0);
  EXPECT_EQ(first.year, 1960);
  EXPECT_EQ(first.month, 2);
  EXPECT_EQ(first.day, 1);
  EXPECT_EQ(first.absent, 0);
  EXPECT_EQ(first.is_datetime, 1);
  EXPECT_EQ(first.is_anchor, 1);
  EXPECT_EQ(second.month, 1);
  EXPECT_EQ(second.day, 30);
  EXPECT_EQ(second.is_datetime, 0);
}

// A duration normalised with its days kept may count more than its digits
// hold; alone in an interval it is refused rather than written corrupted.
TEST_F(IntervalTest, DeriveRefusesCountsThePackedFormCannotHold) {
  const DeriveRow rows[] = {
      {"P1M145D", 0, 7, kNoInterval, "145 days"},
      {"P1M100D", 0, 7, kNoInterval, "100 days"},
      {"P1M99D", 0, 0,
       {"1960101000000003", "FFFF199FFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P1M99D"},
       "99 days fit"},
      {"P15M1D", 0, 7, kNoInterval, "15 months would read back as no month"},
      {"P14M1D", 0, 0,
       {"1960101000000003", "FFFFE01FFFFFFFFC", "(ref 1960-01-01T00:00:00.000)/P14M1D"},
       "14 months fit their digit"},
      {"P99999M1D", 0, 7, kNoInterval, "99999 months"},
      {"P1M999999999999999999D", 0, 7, kNoInterval, "a huge day count"},
      {"1582-01-01/P9999Y13M", 0, 7, kNoInterval, "re-derived duration of 10000 years"},
  };
  for (const DeriveRow &r : rows) {
    SCOPED_TRACE(std::string("'") + r.text + "': " + r.why);
    Entity first{}, second{};
    EXPECT_EQ(derive(r.text, static_cast<int32_t>(std::strlen(r.text)), &first, &second, r.mode),
              r.rc);
    expect_interval(first, second, r.want);
  }
}

// Counts that reach no date give problem 8, without overflow (the sanitizer
// build watches the arithmetic).
TEST_F(IntervalTest, DeriveWithHugeCounts) {
  const char *const texts[] = {
      "2011-01-01/P1Y9223372036854775807M",
      "P9223372036854775807M1D/2011-01-01",
      "2011-01-01/P1M999999999999999999D",
      "P1M999999999999999999D/2011-01-01",
      "2011-01-01/P1Y99999999999999999M",
  };
  for (const char *t : texts) {
    SCOPED_TRACE(t);
    Entity first{}, second{};
    EXPECT_EQ(derive(t, static_cast<int32_t>(std::strlen(t)), &first, &second, 0), 8);
    EXPECT_EQ(hex(first), kMissing16);
    EXPECT_EQ(hex(second), kMissing16);
  }
}

TEST_F(IntervalTest, DeriveReadsOnlyItsLength) {
  // The length ends the text before the slash: a lone duration.
  const char text[] = "P2D/2011-09-09";
  Entity first{}, second{};
  ASSERT_EQ(derive(text, 3, &first, &second, 0), 0);
  zbtest::expect_packed(hex(first), {"1960101000000003", "(ref 1960-01-01T00:00:00.000)"});
  EXPECT_EQ(derive(text, -5, &first, &second, 0), 13);
}

}  // namespace
