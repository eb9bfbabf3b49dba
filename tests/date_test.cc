// The date and datetime readers: date_ok, i8601da, i8601dn, i8601dt,
// i8601_datetime and i8601dz; checked against std::chrono, and read from
// several threads at once.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ext_helpers.h"

namespace zbtest {
namespace {

using DateOk = int32_t (*)(const char *, int32_t);
using DatetimeFn = uint32_t (*)(ifmblock *, int32_t);

constexpr uint32_t kOk = 0;
constexpr uint32_t kBad = 1;
constexpr uint32_t kBadDate = 0x8001d814u;
constexpr uint32_t kInvalid = 0x8001d819u;

class DateReaders : public ModuleTest {};

TEST_F(DateReaders, DateOk) {
  constexpr int32_t kWhole = INT32_MIN;
  struct Case {
    std::string text;
    int32_t len;  // kWhole: the text's length
    int32_t rc;
    const char *why;
  };
  const std::vector<Case> cases = {
      {"2011-09-09", kWhole, 0, "extended date"},
      {"  2011-09-09  ", kWhole, 0, "blanks around"},
      {"2011 09 09", kWhole, 0, "blanks for hyphens"},
      {"2011-09 09", kWhole, 0, "mixed separators pass the syntax check"},
      {"2011-99-99", kWhole, 0, "syntax only"},
      {"2011/09/09", kWhole, 1, "slash is no separator here"},
      {"2011-9-9", kWhole, 1, "one-digit month and day"},
      {"20110909", kWhole, 1, "basic notation"},
      {"2011-09-0a", kWhole, 1, "non-digit"},
      {"x011-09-09", kWhole, 1, "non-digit in the year"},
      {"2011--09-9", kWhole, 1, "separator where a digit belongs"},
      {"2011-09-091", kWhole, 1, "eleven characters"},
      {"2011-09-091", 10, 0, "the eleventh is outside the length"},
      {"2011-09-09", 9, 1, "cut to nine"},
      {"", kWhole, 1, "empty"},
      {"          ", kWhole, 1, "all blank"},
      {"2011-09-09", -4, 1, "negative length"},
  };
  auto ok = fn<DateOk>("date_ok");
  for (const Case &c : cases) {
    SCOPED_TRACE("'" + c.text + "': " + c.why);
    GuardedField field(c.text);
    EXPECT_EQ(ok(field.data(), c.len == kWhole ? static_cast<int32_t>(c.text.size()) : c.len),
              c.rc);
  }
  // A wrong character at each place: a letter, a '/', or a digit where a
  // separator belongs.
  for (size_t i = 0; i < 10; ++i) {
    for (char c : {'x', '/', '5'}) {
      std::string text = "2011-09-09";
      if (i == 4 || i == 7 || c != '5') {
        text[i] = c;
        SCOPED_TRACE(text);
        GuardedField field(text);
        EXPECT_EQ(ok(field.data(), 10), 1);
      }
    }
  }
}

TEST_F(DateReaders, Date) {
  const std::vector<Row> rows = {
      {"2011-09-09", -1, -1, kOk, Out::kValue, 18879, "a date"},
      {"1960-01-01", -1, -1, kOk, Out::kValue, 0, "the epoch"},
      {"1959-12-31", -1, -1, kOk, Out::kValue, -1, "the day before"},
      {"2012-02-29", -1, -1, kOk, Out::kValue, 19052, "leap day"},
      {"  2011-09-09 ", -1, -1, kOk, Out::kValue, 18879, "blanks around"},
      {"2011-02-29", -1, -1, kBadDate, Out::kMissing, 0, "no leap day in a common year"},
      {"2011-13-01", -1, -1, kBadDate, Out::kMissing, 0, "month 13"},
      {"2011-09-00", -1, -1, kBadDate, Out::kMissing, 0, "day 0"},
      {"2011/09/09", -1, -1, kBadDate, Out::kUntouched, 0, "slashes"},
      {"2011-9-9", -1, -1, kBadDate, Out::kUntouched, 0, "short month and day"},
      {"20110909", -1, -1, kBadDate, Out::kUntouched, 0, "basic notation"},
      {"2011-09 09", -1, -1, kBadDate, Out::kUntouched, 0, "mixed separators: calendar refuses"},
      {".", -1, -1, kBadDate, Out::kUntouched, 0, "missing notation is no date here"},
      {"2011-09-091", 10, -1, kOk, Out::kValue, 18879, "a digit after the width"},
      {"2011-09-091", 11, 10, kOk, Out::kValue, 18879, "a digit after the available length"},
      {"2011-09-09", 9, -1, kBadDate, Out::kUntouched, 0, "width cuts the day"},
  };
  run_rows(reader("i8601da"), rows);
}

// A year written with four digits is that year: 0011 is no two-digit year of
// the host's century window, and lies before the host's calendar.
TEST_F(DateReaders, YearAsWritten) {
  expect_result(call_reader(reader("i8601da"), "0011-09-09"), kBadDate, Out::kMissing, 0);
}

TEST_F(DateReaders, DateAsDatetime) {
  const std::vector<Row> rows = {
      {"2011-09-09", -1, -1, kOk, Out::kValue, 1631145600, "midnight of the date"},
      {"1959-12-31", -1, -1, kOk, Out::kValue, -86400, "before the epoch"},
      {"2011-02-29", -1, -1, kBadDate, Out::kMissing, 0, "no calendar date: not multiplied"},
      {"2011/09/09", -1, -1, kBadDate, Out::kUntouched, 0, "not an extended date"},
  };
  run_rows(reader("i8601dn"), rows);
}

TEST_F(DateReaders, Datetime) {
  const std::vector<Row> rows = {
      {"2011-09-09T12:30:00", -1, -1, kOk, Out::kValue, 1631190600, "datetime"},
      {"2011-09-09 12:30:00", -1, -1, kOk, Out::kValue, 1631190600, "blank for T"},
      {"  2011-09-09T12:30:00  ", -1, -1, kOk, Out::kValue, 1631190600, "blanks around"},
      {"2011-09-09T 12:30", -1, -1, kOk, Out::kValue, 1631190600, "time text is trimmed"},
      {"2011-09-09T12.5", -1, -1, kOk, Out::kValue, 1631190600, "15 characters, fraction"},
      {"2011-09-09T12:30Z", -1, -1, kOk, Out::kValue, 1631190600, "one stray character"},
      {"1959-12-31T23:59:59.5", -1, -1, kOk, Out::kValue, -0.5, "half a second before"},
      {"2011-09-09t12:30", -1, -1, kBadDate, Out::kValue, 18879, "lower-case t: date stays"},
      {"2011-09-09X12:30", -1, -1, kBadDate, Out::kValue, 18879, "other character: date stays"},
      {"2011-09-09T12", -1, -1, kBadDate, Out::kUntouched, 0, "13 characters"},
      {"2011-09-09T1", -1, -1, kBadDate, Out::kUntouched, 0, "12 characters"},
      {"2011/09/09T12:30", -1, -1, kBadDate, Out::kUntouched, 0, "date syntax"},
      {"2011-02-29T12:30", -1, -1, kBadDate, Out::kMissing, 0, "no calendar date"},
      {"2011-09-09T24:00", -1, -1, kOk, Out::kMissing, 0, "hour 24: missing, not an error"},
      {"2011-09-09T1230", -1, -1, kBad, Out::kMissing, 0, "basic time"},
      {"2011-09-09T12:30:45+01:00", -1, -1, kBad, Out::kMissing, 0, "zone not read here"},
      {"2011-09-09T12:30:45+01:00", 19, -1, kOk, Out::kValue, 1631190645, "zone after width"},
      {"2011-09-09T12:30:45", 16, -1, kOk, Out::kValue, 1631190600, "seconds after width"},
      {"2011-09-09T12:30:45", 19, 14, kBadDate, Out::kUntouched, 0, "avail leaves 14"},
  };
  run_rows(reader("i8601dt"), rows);
}

TEST_F(DateReaders, DatetimeWithZone) {
  const std::vector<Row> rows = {
      {"2011-09-09T12:30:00+02:00", -1, -1, kOk, Out::kValue, 1631183400, "two hours east"},
      {"2011-09-09T00:30:00+01:00", -1, -1, kOk, Out::kValue, 1631143800, "into the day before"},
      {"2011-09-09T23:30:00-01:00", -1, -1, kOk, Out::kValue, 1631233800, "into the day after"},
      {"2011-09-09T12:30:00Z", -1, -1, kOk, Out::kValue, 1631190600, "GMT"},
      {" 2011-09-09 12:30:00 +02:00 ", -1, -1, kOk, Out::kValue, 1631183400, "blanks"},
      {"2011-09-09T12:00-99:00", -1, -1, kOk, Out::kValue, 1631188800 + 356400, "no wrap"},
      {"2011-09-09T12:30:00", -1, -1, kInvalid, Out::kUntouched, 0, "no designator"},
      {"2011-09-09T12:30:00+0200", -1, -1, kInvalid, Out::kUntouched, 0, "basic designator"},
      {"2011-09-09T12:30:00Z", 19, -1, kInvalid, Out::kUntouched, 0, "Z after the width"},
      {"2011-09-09T24:00Z", -1, -1, kOk, Out::kMissing, 0, "hour 24"},
      {"2011-02-30T12:00Z", -1, -1, kBadDate, Out::kMissing, 0, "no calendar date"},
      {"2011-09-09x12:00+01:00", -1, -1, kBadDate, Out::kValue, 18879, "date kept, no offset"},
      {"2011-09-09T12Z", -1, -1, kBadDate, Out::kUntouched, 0, "13 characters before Z"},
      {"2011-09-09T12:3+01:00", -1, -1, kBad, Out::kMissing, 0, "malformed time"},
  };
  run_rows(reader("i8601dz"), rows);
}

// i8601_datetime passes its flag to the time reader, which ignores it.
TEST_F(DateReaders, DatetimeFlagHasNoEffect) {
  auto dt = fn<DatetimeFn>("i8601_datetime");
  for (int32_t flag : {0, 1, 5}) {
    SCOPED_TRACE(flag);
    GuardedField field("2011-09-09T12:30:00");
    double target = sentinel();
    ifmblock blk = call_block(field.data(), 19, 19, &target, 8);
    EXPECT_EQ(dt(&blk, flag), kOk);
    EXPECT_EQ(target, 1631190600);
  }
}

// --- std::chrono as the oracle ---------------------------------------------

struct Generated {
  std::string date;      // yyyy-mm-dd
  std::string datetime;  // date, T or blank, time
  std::string zoned;     // datetime with a designator
  double days;
  double seconds;        // host datetime of datetime
  double gmt;            // host datetime of zoned
};

std::vector<Generated> generate(int count) {
  using namespace std::chrono;
  const sys_days epoch = sys_days{year{1960} / 1 / 1};
  const sys_days first = sys_days{year{1582} / 10 / 15};
  const sys_days last = sys_days{year{9999} / 12 / 31};
  std::vector<sys_days> picks = {first,
                                last,
                                epoch,
                                epoch - std::chrono::days{1},
                                sys_days{year{2000} / 2 / 29},
                                sys_days{year{1900} / 2 / 28},
                                sys_days{year{1900} / 3 / 1},
                                sys_days{year{2400} / 2 / 29}};
  std::mt19937 rng(20110909);
  std::uniform_int_distribution<int> day_pick(0, static_cast<int>((last - first).count()));
  while (static_cast<int>(picks.size()) < count)
    picks.push_back(first + std::chrono::days{day_pick(rng)});

  static const char *const fractions[] = {"", ".5", ",25", ".125", ".0"};
  static const double fraction_values[] = {0, 0.5, 0.25, 0.125, 0};
  std::uniform_int_distribution<int> h(0, 23), ms(0, 59), f(0, 4), zh(0, 14), zm(0, 3), b(0, 2),
      coin(0, 1);
  std::vector<Generated> out;
  for (sys_days d : picks) {
    const year_month_day ymd{d};
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    const int hh = h(rng), mm = ms(rng), ss = ms(rng), fi = f(rng);
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d%s", hh, mm, ss, fractions[fi]);
    const std::string pad_l(b(rng), ' '), pad_r(b(rng), ' ');
    Generated g;
    g.date = pad_l + date + pad_r;
    g.datetime = pad_l + date + (coin(rng) ? "T" : " ") + time + pad_r;
    g.days = static_cast<double>((d - epoch).count());
    g.seconds = g.days * 86400 + hh * 3600 + mm * 60 + ss + fraction_values[fi];
    if (coin(rng)) {
      g.zoned = pad_l + date + "T" + time + "Z" + pad_r;
      g.gmt = g.seconds;
    } else {
      const int zhh = zh(rng), zmm = zm(rng) * 15;
      const bool east = coin(rng);
      char zone[8];
      std::snprintf(zone, sizeof zone, "%c%02d:%02d", east ? '+' : '-', zhh, zmm);
      g.zoned = pad_l + date + "T" + time + zone + pad_r;
      g.gmt = g.seconds + (east ? -1 : 1) * (zhh * 3600 + zmm * 60);
    }
    out.push_back(g);
  }
  return out;
}

TEST_F(DateReaders, AgreeWithChrono) {
  auto da = reader("i8601da");
  auto dt = reader("i8601dt");
  auto dz = reader("i8601dz");
  int failures = 0;
  for (const Generated &g : generate(3000)) {
    const ReadResult a = call_reader(da, g.date);
    const ReadResult t = call_reader(dt, g.datetime);
    const ReadResult z = call_reader(dz, g.zoned);
    const bool good = a.rc == 0 && a.value == g.days && t.rc == 0 && t.value == g.seconds &&
                      z.rc == 0 && z.value == g.gmt;
    if (!good && ++failures <= 10)
      ADD_FAILURE() << "'" << g.date << "' -> " << a.rc << "/" << a.value << " want " << g.days
                    << "; '" << g.datetime << "' -> " << t.rc << "/" << t.value << " want "
                    << g.seconds << "; '" << g.zoned << "' -> " << z.rc << "/" << z.value
                    << " want " << g.gmt;
  }
  EXPECT_EQ(failures, 0);
}

// --- several threads through one loaded module -----------------------------

TEST_F(DateReaders, ConcurrentReadsMatchOneThread) {
  host->set_gmt_offset(-18000);
  struct Field {
    const char *reader;
    std::string text;
  };
  const std::vector<Field> fields = {
      {"i8601tm", "12:30:45.25"},           {"i8601tz", "00:30+01:00"},
      {"i8601lz", "12:30:45"},              {"i8601da", "2011-09-09"},
      {"i8601dn", "1959-12-31"},            {"i8601dt", "2011-09-09T12:30:00"},
      {"i8601dz", "2011-09-09T00:30:00+01:00"}, {"zifmtim", "1:30 PM"},
      {"zifmymd", "20110909"},              {"i8601dt", "2011-02-29T12:30"},
      {"i8601tz", "12:30:45+0100"},         {"i8601tm", "12:60"},
  };
  struct Expect {
    uint32_t rc;
    double value;
  };
  std::vector<ifm_reader> readers;
  std::vector<Expect> expect;
  for (const Field &f : fields) {
    readers.push_back(reader(f.reader));
    const ReadResult r = call_reader(readers.back(), f.text);
    expect.push_back({r.rc, r.value});
  }

  constexpr int kThreads = 4;
  constexpr int kRounds = 3000;
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread its own fields, a different one first.
      std::vector<std::unique_ptr<GuardedField>> own;
      for (const Field &f : fields) own.push_back(std::make_unique<GuardedField>(f.text));
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        const size_t i = (static_cast<size_t>(round) + static_cast<size_t>(t) * 5) % fields.size();
        double target = sentinel();
        const auto len = static_cast<int32_t>(fields[i].text.size());
        ifmblock blk = call_block(own[i]->data(), len, len, &target, 8);
        const uint32_t rc = readers[i](&blk);
        if (rc != expect[i].rc || std::memcmp(&target, &expect[i].value, sizeof target) != 0)
          mismatches.fetch_add(1);
      }
    });
  }
  go.store(true);
  for (std::thread &th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace zbtest
