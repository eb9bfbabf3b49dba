// Intervals whose derivation must not lose or change what the text holds: the
// sign of a re-derived duration, an other end outside the host's calendar,
// empty parts, four-digit years below 100, fractional times of day, and the
// round trip of a re-derived duration through compute_end and compute_start.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ext_helpers.h"
#include "support/entity_view.h"

namespace zbtest {
namespace {

using namespace std::chrono;

using EntityReader = uint32_t (*)(ifmblock *, int32_t);
using DeriveFn = int32_t (*)(const char *, int32_t, Entity *, Entity *, int32_t);
using PairFn = int32_t (*)(const Entity *, const Entity *, Entity *);

constexpr uint32_t kBadDate = 0x8001d814u;

class IntervalFaults : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    vli = fn<EntityReader>("is8601vli");
    dui = fn<EntityReader>("is8601dui");
    derive = fn<DeriveFn>("derive_interval");
    end_of = fn<PairFn>("compute_end");
    start_of = fn<PairFn>("compute_start");
    ASSERT_TRUE(vli && dui && derive && end_of && start_of);
  }


 public:
  // The reader's code and the interval's text by the host's decoder ("" for
  // all F digits).
  std::pair<uint32_t, std::string> read(EntityReader r, const std::string &text, int32_t need) {
    GuardedField field(text);
    std::string target(static_cast<size_t>(need), '~');
    const auto len = static_cast<int32_t>(text.size());
    ifmblock blk = call_block(field.data(), len, len, target.data(), need);
    const uint32_t rc = r(&blk, 0);
    return {rc, target == std::string(static_cast<size_t>(need), 'F') ? "" : iso_text(target)};
  }

  EntityReader vli = nullptr, dui = nullptr;

 protected:
  DeriveFn derive = nullptr;
  PairFn end_of = nullptr, start_of = nullptr;
};

struct Row {
  const char *text;
  uint32_t rc;
  const char *iso;  // "": thirty-two F digits
  const char *why;
};

void run_rows(IntervalFaults *t, EntityReader r, const std::vector<Row> &rows) {
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string("'") + row.text + "': " + row.why);
    const auto got = t->read(r, row.text, 32);
    EXPECT_EQ(got.first, row.rc);
    EXPECT_EQ(got.second, row.iso);
  }
}

TEST_F(IntervalFaults, SignOfARederivedDurationIsKept) {
  run_rows(this, vli,
           {
               {"2011-09-09/-P1DT36H", 0, "2011-09-09/-P2DT12H", "the end 2.5 days before"},
               {"-P1DT36H/2011-09-09", 0, "-P2DT12H/2011-09-09", "the start 2.5 days after"},
               {"2011-09-09T10:00/-P1M40D", 0, "2011-09-09T10:00/-P2M10D",
                "back to 2011-06-30T10:00"},
               {"-P1D/2011-09-09", 0, "-P1D/2011-09-09", "not normalised: as scanned"},
               {"2011-09-09/P1DT36H", 0, "2011-09-09/P2DT12H", "positive: unchanged"},
           });
}

TEST_F(IntervalFaults, OtherEndOutsideTheCalendarIsAProblem) {
  run_rows(this, vli,
           {
               {"P1M40D/1582-01-02", 8, "", "start in 1581"},
               {"P1DT36H/1582-01-02", 8, "", "start in 1581, days and hours"},
               {"2011-01-01/P1Y9223372036854775807M", 8, "", "no month that far"},
               {"P1000YT100S/2056-05-01T00:00:00Z", 8, "", "start in 1056"},
               {"P2000Y13M/2056-05-01T00:00:00Z", 8, "", "start year 55: no two-digit year"},
               {"P1852Y6M95D/1918-04-01T05:07:48", 8, "", "start year 65"},
               {"P1M40D/1582-03-15", 0, "P2M9D/1582-03-15", "start 1582-01-06: inside"},
           });
}

TEST_F(IntervalFaults, EmptyDurationIsAbsent) {
  run_rows(this, vli,
           {
               {"2011-09-09/P", 16, "", "a datetime alone"},
               {"P/2011-09-09", 16, "", "a datetime alone, after an empty part"},
               {"-P/2011-09-09", 16, "", "an empty negative duration"},
               {"P", 13, "", "nothing at all"},
               {"P/P", 13, "", "two empty parts"},
               {"P/P2D", 0, "(ref 1960-01-01T00:00:00.000)/P2D", "a lone duration"},
           });
  // Alone, P keeps its answer: the missing duration.
  const auto got = read(dui, "P", 16);
  EXPECT_EQ(got.first, 0u);
  EXPECT_EQ(got.second, "");
}

TEST_F(IntervalFaults, FourDigitYearsBelow100AreNoDates) {
  // The date readers: the invalid-date code with the missing value.
  for (const char *name : {"i8601da", "b8601da", "i8601dn", "b8601dn", "i8601dt", "b8601dt"}) {
    const bool dt = std::string(name).back() == 't';
    for (const char *text : {"0011-05-05", "0099-12-31", "00110505", "0001-01-01"}) {
      if (!dt && std::string(name)[0] == 'i' && text[4] != '-') continue;  // extended only
      std::string field = text;
      if (dt) field += field[4] == '-' ? "T12:00:00" : "T120000";
      if (dt && name[0] == 'i' && text[4] != '-') continue;
      SCOPED_TRACE(std::string(name) + " '" + field + "'");
      const ReadResult r = call_reader(reader(name), field);
      EXPECT_EQ(r.rc, kBadDate);
      EXPECT_TRUE(r.missing());
    }
  }
  // Two-digit years still go through the host's window, and the calendar's
  // first years still read.
  const std::vector<zbtest::Row> rows = {
      {"110909", -1, -1, 0, Out::kValue, 18879, "two-digit year 11: 2011"},
      {"1582-10-15", -1, -1, 0, Out::kValue, -137774, "a year of four digits in the calendar"},
      {"2011-09-09", -1, -1, 0, Out::kValue, 18879, "an ordinary date"},
  };
  zbtest::run_rows(reader("zifmymd"), rows);
}

TEST_F(IntervalFaults, FractionalTimeOfDayBorrowsNothing) {
  run_rows(this, vli,
           {
               {"2094-05-16T20:45:46.713/P6Y38M", 0, "2094-05-16T20:45:46.713/P9Y2M",
                "thousandths of a second"},
               {"2094-05-16T20:45:46/P6Y38M", 0, "2094-05-16T20:45:46/P9Y2M", "whole seconds"},
               {"2094-05-16T20:45:46.500/P6Y38M", 0, "2094-05-16T20:45:46.500/P9Y2M", "a half"},
               {"P6Y38M/2094-05-16T20:45:46.713", 0, "P9Y2M/2094-05-16T20:45:46.713", "backward"},
           });
  // Many starts with a fraction: twelve months and thirteen is two years and
  // a month, whatever the clock.
  uint64_t state = 0x2545F4914F6CDD1Dull;
  int wrong = 0;
  for (int i = 0; i < 2000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const auto r = static_cast<uint32_t>(state >> 33);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u/P1Y13M", 1600 + r % 700,
                  1 + r % 12, 1 + r % 28, r % 24, (r >> 5) % 60, (r >> 11) % 60, (r >> 17) % 1000);
    Entity first{}, second{};
    if (derive(text, static_cast<int32_t>(std::strlen(text)), &first, &second, 0) != 0 ||
        second.year != 2 || second.month != 1 || (second.absent & 0x3E) != 0x3E)
      ++wrong;
  }
  EXPECT_EQ(wrong, 0);
}

// ---- the round trip ----

constexpr sys_days kEpoch = sys_days{year{1960} / January / 1};

// Host datetime in whole thousandths: what the packed form keeps.
int64_t ms(double datetime) { return static_cast<int64_t>(std::floor(datetime * 1000.0 + 0.5)); }

// A datetime entity at a host datetime given in thousandths, every component
// given.
Entity at_ms(int64_t t) {
  const int64_t day = (t >= 0 ? t : t - 86399999) / 86400000;
  const int64_t tod = t - day * 86400000;
  const year_month_day ymd{kEpoch + days{day}};
  Entity e{};
  e.datetime = static_cast<double>(t) / 1000.0;
  e.year = int(ymd.year());
  e.month = unsigned(ymd.month());
  e.day = unsigned(ymd.day());
  e.hour = tod / 3600000;
  e.minute = tod / 60000 % 60;
  e.second = tod / 1000 % 60;
  e.fraction = tod % 1000;
  e.is_datetime = 1;
  return e;
}

// The datetime sign times (months, days, seconds) from t: the months stepped
// on the calendar with the day limited to the month reached, then the days
// and the clock time.
int64_t step(int64_t t, int sign, int64_t months, int64_t d, int64_t secs) {
  const int64_t day = (t >= 0 ? t : t - 86399999) / 86400000;
  const int64_t tod = t - day * 86400000;
  const year_month_day ymd{kEpoch + days{day}};
  const year_month ym = ymd.year() / ymd.month() + std::chrono::months{sign * months};
  const unsigned end_day = unsigned(year_month_day_last{ym.year(), month_day_last{ym.month()}}.day());
  const unsigned dd = std::min(unsigned(ymd.day()), end_day);
  const sys_days reached{year_month_day{ym.year(), ym.month(), std::chrono::day{dd}}};
  const int64_t base = (reached - kEpoch).count() + sign * d;
  return base * 86400000 + tod + sign * secs * 1000;
}

// Random intervals of a datetime and a duration that is normalised (hours
// over 23), either way round and of either sign: the re-derived duration
// takes the start to the end by compute_end, and the end back to the start
// by compute_start, to the thousandth.
TEST_F(IntervalFaults, RederivedDurationRoundTrips) {
  uint64_t state = 0x853C49E6748FEA9Bull;
  auto next = [&state](uint32_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int64_t>((state >> 33) % n);
  };
  int checked = 0;
  for (int i = 0; i < 20000 && !HasFailure(); ++i) {
    const int64_t y = 1700 + next(600), mo = 1 + next(12);
    const year_month ym = year{static_cast<int>(y)} / month{static_cast<unsigned>(mo)};
    const auto last = static_cast<int64_t>(
        unsigned(year_month_day_last{ym.year(), month_day_last{ym.month()}}.day()));
    // Days near the month's end often: where months are cut short.
    const int64_t d = next(2) ? last - next(4) : 1 + next(last);
    const int64_t h = next(24), mi = next(60), s = next(60), frac = next(3) ? 0 : next(1000);
    const int64_t dy = next(4) ? 0 : next(30), dm = next(30), dd = next(70), dh = 24 + next(60),
                  dmi = next(60), ds = next(60);
    const bool negative = next(2), backward = next(2);
    char when[40], dur[64];
    std::snprintf(when, sizeof when, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lld",
                  (long long)y, (long long)mo, (long long)d, (long long)h, (long long)mi,
                  (long long)s, (long long)frac);
    std::snprintf(dur, sizeof dur, "%sP%lldY%lldM%lldDT%lldH%lldM%lldS", negative ? "-" : "",
                  (long long)dy, (long long)dm, (long long)dd, (long long)dh, (long long)dmi,
                  (long long)ds);
    const std::string text = backward ? std::string(dur) + "/" + when : std::string(when) + "/" + dur;
    SCOPED_TRACE(text);
    Entity first{}, second{};
    ASSERT_EQ(derive(text.data(), static_cast<int32_t>(text.size()), &first, &second, 0), 0);
    const Entity &anchor = backward ? second : first;
    const Entity &found = backward ? first : second;
    EXPECT_EQ(found.negative, negative ? 1 : 0);
    // The other end, as the text's own duration reaches it from the anchor.
    const int sign = (backward ? -1 : 1) * (negative ? -1 : 1);
    const int64_t other =
        step(ms(anchor.datetime), sign, dy * 12 + dm, dd, dh * 3600 + dmi * 60 + ds);
    const Entity start = backward ? at_ms(other) : at_ms(ms(anchor.datetime));
    const Entity end = backward ? at_ms(ms(anchor.datetime)) : at_ms(other);
    Entity got{};
    ASSERT_EQ(end_of(&start, &found, &got), 0);
    EXPECT_EQ(ms(got.datetime), ms(end.datetime)) << "compute_end";
    ASSERT_EQ(start_of(&found, &end, &got), 0);
    EXPECT_EQ(ms(got.datetime), ms(start.datetime)) << "compute_start";
    ++checked;
  }
  EXPECT_EQ(checked, 20000);
}

TEST_F(IntervalFaults, RederivedDurationAddsBackToItsEnd) {
  run_rows(this, vli,
           {
               {"1919-11-30T13:04:21Z/P195DT24S", 0, "1919-11-30T13:04:21/P6M13DT24S",
                "days counted in May, not November"},
               {"2011-01-31/P0M28DT24H", 0, "2011-01-31/P29D",
                "no month: January 31 has no day in February"},
               {"2011-01-31/P1M40D", 0, "2011-01-31/P2M9D", "March 31 exists"},
               {"P1M40D/2011-04-09", 0, "P2M12D/2011-04-09", "backward"},
           });
}

}  // namespace
}  // namespace zbtest
