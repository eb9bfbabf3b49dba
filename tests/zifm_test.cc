// The calendar routines: zifmgmd, zifmymd and zifmtim, under the host's
// default locale and under locales a test installs.
#include <string>
#include <vector>

#include "ext_helpers.h"

namespace zbtest {
namespace {

using GmdFn = int32_t (*)(task_context *, const char *, int32_t, double *, double *, double *);

constexpr uint32_t kOk = 0;
constexpr uint32_t kWidthLow = 0x80002027u;
constexpr uint32_t kWidthHigh = 0x80002028u;
constexpr uint32_t kDecLow = 0x80002029u;
constexpr uint32_t kDecHigh = 0x8000202au;
constexpr uint32_t kShort = 0x8001d827u;
constexpr uint32_t kBadDate = 0x8001d814u;
constexpr uint32_t kBadTime = 0x8001d819u;
constexpr uint32_t kBadHours = 0x8001d81au;
constexpr uint32_t kNoMinutes = 0x8001d81bu;
constexpr uint32_t kBadMinutes = 0x8001d81cu;
constexpr uint32_t kBadSuffix = 0x8001d821u;

class Calendar : public ModuleTest {
 protected:
  // zifmgmd on text; len = sign * the text's length (or explicit).
  struct Split {
    int32_t rc;
    double a, b, c;
  };
  Split split(task_context *task, const std::string &text, int32_t len) {
    GuardedField field(text);
    Split s{0, -7, -7, -7};
    s.rc = fn<GmdFn>("zifmgmd")(task, field.data(), len, &s.a, &s.b, &s.c);
    return s;
  }
};

TEST_F(Calendar, SplitDate) {
  constexpr int32_t kYearFirst = -1, kMonthFirst = 1;
  struct Case {
    std::string text;
    int32_t order;  // kYearFirst or kMonthFirst
    int32_t len;    // 0: the text's length
    int32_t rc;
    double a, b, c;  // -7: not stored
    const char *why;
  };
  const std::vector<Case> cases = {
      {"2011-09-09", kYearFirst, 0, 0, 2011, 9, 9, "separated"},
      {"2011/09/09", kYearFirst, 0, 0, 2011, 9, 9, "another separator of the locale"},
      {"2011-9-9", kYearFirst, 0, 0, 2011, 9, 9, "runs of any length"},
      {"  2011-09-09   ", kYearFirst, 0, 0, 2011, 9, 9, "blanks around"},
      {"2011-09-09x9", kYearFirst, 0, 0, 2011, 9, 9, "anything after the third run ignored"},
      {"09-09-2011", kMonthFirst, 0, 0, 9, 9, 2011, "separated: order as written"},
      {"2011-09", kYearFirst, 0, 1, -7, -7, -7, "two runs"},
      {"2011-09/09", kYearFirst, 0, 1, -7, -7, -7, "separators differ"},
      {"2011x09x09", kYearFirst, 0, 1, -7, -7, -7, "x is no separator"},
      {"2011--09", kYearFirst, 0, 1, -7, -7, -7, "no digit after the separator"},
      {"2011-09-0x", kYearFirst, 0, 1, -7, -7, -7, "last character no digit"},
      {"2011-09-", kYearFirst, 0, 1, -7, -7, -7, "ends in a separator"},
      {"-2011-09-09", kYearFirst, 0, 1, -7, -7, -7, "first character no digit"},
      {"", kYearFirst, 0, 1, -7, -7, -7, "empty"},
      {"    ", kYearFirst, 0, 1, -7, -7, -7, "all blank"},
      {"20110909", kYearFirst, 0, 0, 2011, 9, 9, "compact, year first"},
      {"110909", kYearFirst, 0, 0, 11, 9, 9, "two-digit year"},
      {"10909", kYearFirst, 0, 0, 1, 9, 9, "one-digit year"},
      {"123450909", kYearFirst, 0, 0, 12345, 9, 9, "long year"},
      {"1234", kYearFirst, 0, 1, -7, -7, -7, "fewer than 5 digits"},
      {"09092011", kMonthFirst, 0, 0, 9, 9, 2011, "month first, leading zero skipped"},
      {"121503", kMonthFirst, 0, 0, 12, 15, 3, "six digits: mm dd yy"},
      {"1234567", kMonthFirst, 0, 0, 1, 23, 4567, "seven digits: m dd yyyy"},
      {"0012345", kMonthFirst, 0, 0, 1, 23, 45, "zeros skipped, five left: m dd yy"},
      {"123456789", kMonthFirst, 0, 0, 12, 34, 56789, "nine digits: mm dd and the rest"},
      {"0001234", kMonthFirst, 0, 1, -7, -7, -7, "four left after the zeros"},
      {"00000", kMonthFirst, 0, 1, -7, -7, -7, "zeros only"},
      {"20110909", kYearFirst, -5, 0, 2, 1, 10, "length cuts the text"},
      {"2011-09-09", kYearFirst, -8, 1, -7, -7, -7, "cut to 2011-09-"},
      {"09092011", kMonthFirst, 7, 0, 90, 92, 1, "cut to seven, zero skipped: 90 92 01"},
      {"99999999999999999999-01-01", kYearFirst, 0, 1, -7, -7, -7, "year overflows"},
      // Ten characters, each a step away from yyyy-mm-dd.
      {" 011-09-09", kYearFirst, 0, 0, 11, 9, 9, "ten with a leading blank"},
      {"201-09-09 ", kYearFirst, 0, 0, 201, 9, 9, "ten with a trailing blank"},
      {"201-09-091", kYearFirst, 0, 0, 201, 9, 91, "runs of 3, 2 and 3"},
      {"20110-9-09", kYearFirst, 0, 0, 20110, 9, 9, "runs of 5, 1 and 2"},
      {"2011-09/09", kMonthFirst, 0, 1, -7, -7, -7, "ten, separators differ"},
      {"2011-0x-09", kYearFirst, 0, 1, -7, -7, -7, "ten, a letter in the second run"},
      {"2011-09-09", kMonthFirst, 0, 0, 2011, 9, 9, "ten, month-first order as written"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("'" + c.text + "': " + c.why);
    const int32_t len = c.len != 0 ? c.len : c.order * static_cast<int32_t>(c.text.size());
    const Split s = split(host->current_task(), c.text, len);
    EXPECT_EQ(s.rc, c.rc);
    EXPECT_EQ(s.a, c.a);
    EXPECT_EQ(s.b, c.b);
    EXPECT_EQ(s.c, c.c);
  }
}

TEST_F(Calendar, DateFromComponents) {
  const std::vector<Row> rows = {
      {"2011-09-09", -1, -1, kOk, Out::kValue, 18879, "separated"},
      {"20110909", -1, -1, kOk, Out::kValue, 18879, "compact"},
      {"  2011-9-9  ", -1, -1, kOk, Out::kValue, 18879, "blanks and short runs"},
      {"1960-01-01", -1, -1, kOk, Out::kValue, 0, "the epoch"},
      {"2011-02-30", -1, -1, kBadDate, Out::kMissing, 0, "no calendar date"},
      {"2011-09", -1, -1, kBadDate, Out::kUntouched, 0, "not a date form"},
      {"2011", -1, -1, kShort, Out::kUntouched, 0, "window of 4"},
      {"2011-09-09", 4, -1, kShort, Out::kUntouched, 0, "width makes the window 4"},
      {"2011-09-09", 10, 4, kShort, Out::kUntouched, 0, "avail makes the window 4"},
      {"2011-09-09", 8, -1, kBadDate, Out::kUntouched, 0, "window ends in a separator"},
      {"          ", -1, -1, kOk, Out::kMissing, 0, "blank: the host's missing notation"},
  };
  run_rows(reader("zifmymd"), rows);

  // A window of 201109 is year 20, month 11, day 9, as the host counts year 20.
  auto zmdy = reinterpret_cast<svc_d3>(host->gcb_ptr()->vectors[155][11]);
  SCOPED_TRACE("20110909 in a window of 6");
  expect_result(call_reader(reader("zifmymd"), "20110909", 6), kOk, Out::kValue, zmdy(11, 9, 20));
}

// Width and decimals are checked, in this order, only when bit 0 asks.
TEST_F(Calendar, Bounds) {
  struct Case {
    const char *routine;
    int32_t width;
    int32_t decimals;
    uint8_t flags;
    uint32_t rc;
    const char *why;
  };
  const std::vector<Case> cases = {
      {"zifmymd", 5, 0, 1, kWidthLow, "width under 6"},
      {"zifmymd", 6, 0, 1, kShort, "width 6 passes; the window is what it is"},
      {"zifmymd", 33, 0, 1, kWidthHigh, "width over 32"},
      {"zifmymd", 10, -1, 1, kDecLow, "negative decimals"},
      {"zifmymd", 10, 32, 1, kDecHigh, "decimals over 31"},
      {"zifmymd", 5, -1, 1, kWidthLow, "width checked before decimals"},
      {"zifmymd", 33, 32, 1, kWidthHigh, "maximum width before maximum decimals"},
      {"zifmymd", 33, -1, 1, kWidthHigh, "maximum width before minimum decimals"},
      {"zifmymd", 10, 32, 1, kDecHigh, "a good width does not hide the decimals"},
      {"zifmymd", 10, 32, 0xFE, kOk, "other flag bits ask for nothing"},
      {"zifmymd", 33, 99, 0, kOk, "no check when not asked"},
      {"zifmtim", 4, 0, 1, kWidthLow, "width under 5"},
      {"zifmtim", 5, 31, 1, kOk, "5 and 31 are within"},
      {"zifmtim", 33, 0, 1, kWidthHigh, "width over 32"},
      {"zifmtim", 10, -1, 1, kDecLow, "negative decimals"},
      {"zifmtim", 10, 32, 1, kDecHigh, "decimals over 31"},
      {"zifmtim", 4, 99, 0, kOk, "no check when not asked"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.routine) + " width " + std::to_string(c.width) + " decimals " +
                 std::to_string(c.decimals) + ": " + c.why);
    // The field holds a good value whose text fits any of the widths.
    const std::string text = std::string(c.routine) == "zifmymd" ? "20110909" : "1:30";
    const ReadResult r = call_reader(reader(c.routine), text, c.width,
                                     c.width == 6 ? 4 : static_cast<int32_t>(text.size()),
                                     [&](ifmblock &b) {
                                       b.decimals = c.decimals;
                                       b.flags = c.flags;
                                     });
    EXPECT_EQ(r.rc, c.rc) << std::hex << r.rc;
    EXPECT_EQ(r.untouched, c.rc != kOk);
  }
}

TEST_F(Calendar, ClockTime) {
  const std::vector<Row> rows = {
      {"1:30 PM", -1, -1, kOk, Out::kValue, 48600, "afternoon"},
      {"12:05 AM", -1, -1, kOk, Out::kValue, 300, "12 AM is just after midnight"},
      {"12:05 PM", -1, -1, kOk, Out::kValue, 43500, "12 PM is noon"},
      {"13:00 AM", -1, -1, kOk, Out::kValue, 46800, "13:00 AM stays"},
      {"12:59:59.5 AM", -1, -1, kOk, Out::kValue, 3599.5, "last moment that AM moves"},
      {"12:00 PM", -1, -1, kOk, Out::kValue, 43200, "noon itself is not moved"},
      {"12:00 AM", -1, -1, kOk, Out::kValue, 0, "midnight"},
      {"11:59 PM", -1, -1, kOk, Out::kValue, 86340, "last minute"},
      {"1:30 P", -1, -1, kOk, Out::kValue, 48600, "P alone"},
      {"1:30am", -1, -1, kOk, Out::kValue, 5400, "lower case, no blank"},
      {"1:30 PM  ", -1, -1, kOk, Out::kValue, 48600, "blanks after the suffix"},
      {"1:30 P ", -1, -1, kOk, Out::kValue, 48600, "P then a blank"},
      {"-1:30", -1, -1, kOk, Out::kValue, -5400, "negative time"},
      {"  1:30  ", -1, -1, kOk, Out::kValue, 5400, "blanks around"},
      {"12:75", -1, -1, kOk, Out::kValue, 47700, "minutes of any size"},
      {"13:45:30.5", -1, -1, kOk, Out::kValue, 49530.5, "seconds with a fraction"},
      {"1:30:45", -1, -1, kOk, Out::kValue, 5445, "seconds"},
      {"1.30.45", -1, -1, kOk, Out::kValue, 5445, "'.' as the separator throughout"},
      {"1:30:45.5 PM", -1, -1, kOk, Out::kValue, 48645.5, "seconds and suffix"},
      {"1:30:4a", -1, -1, kOk, Out::kValue, 5404, "suffix right after the seconds"},
      {"1330", -1, -1, kBadTime, Out::kUntouched, 0, "digits alone"},
      {"1:30 PMX", -1, -1, kBadSuffix, Out::kUntouched, 0, "text after PM"},
      {"1:30 A M", -1, -1, kBadSuffix, Out::kUntouched, 0, "letter after A and a blank"},
      {"1:30 PX", -1, -1, kBadSuffix, Out::kUntouched, 0, "neither M nor a blank after P"},
      {"1:30 X", -1, -1, kBadSuffix, Out::kUntouched, 0, "a token that is no suffix"},
      {"1:30:45.", -1, -1, kBadSuffix, Out::kUntouched, 0, "'.' with no digit is no fraction"},
      {"1:", -1, -1, kNoMinutes, Out::kUntouched, 0, "nothing after the separator"},
      {"1:x", -1, -1, kBadTime, Out::kUntouched, 0, "no digit after the separator"},
      {"1x30", -1, -1, kBadTime, Out::kUntouched, 0, "x is no separator"},
      {"x1:30", -1, -1, kBadTime, Out::kUntouched, 0, "no digit first"},
      {"-", -1, -1, kBadTime, Out::kUntouched, 0, "a sign alone"},
      {"1:30::45", -1, -1, kBadTime, Out::kUntouched, 0, "two characters before the seconds"},
      {"1:30 45", -1, -1, kBadTime, Out::kUntouched, 0, "seconds after a blank"},
      {"1:30.45", -1, -1, kBadTime, Out::kUntouched, 0, "seconds not after the hours' separator"},
      {"1:30 .", -1, -1, kBadTime, Out::kUntouched, 0, "no token after the minutes"},
      {"1:30.PM", -1, -1, kBadMinutes, Out::kUntouched, 0, "suffix not where the search began"},
      {"99999999999999999999:00", -1, -1, kBadHours, Out::kUntouched, 0, "hours overflow"},
      {"1:99999999999999999999", -1, -1, kBadMinutes, Out::kUntouched, 0, "minutes overflow"},
      {"1:30 PM", 4, -1, kOk, Out::kValue, 5400, "suffix after the window"},
      {"1:30:45", 7, 4, kOk, Out::kValue, 5400, "seconds after the available length"},
      {"     ", -1, -1, kOk, Out::kMissing, 0, "blank: the host's missing notation"},
  };
  run_rows(reader("zifmtim"), rows);
}

// What the host's numeric informat is given for the seconds.
struct SecondsCall {
  int calls = 0;
  std::string text;
  ifmblock blk{};
};
SecondsCall g_seconds;
svc_wzifmn g_real_wzifmn = nullptr;
uint32_t recording_wzifmn(ifmblock *blk) {
  ++g_seconds.calls;
  g_seconds.blk = *blk;
  g_seconds.text.assign(blk->input, static_cast<size_t>(blk->width));
  return g_real_wzifmn(blk);
}

TEST_F(Calendar, SecondsThroughTheHostsNumericReader) {
  gcb_entry &slot = host->gcb_ptr()->vectors[0][305];
  g_real_wzifmn = reinterpret_cast<svc_wzifmn>(slot);
  slot = reinterpret_cast<gcb_entry>(&recording_wzifmn);
  g_seconds = SecondsCall{};
  task_context *task = host->new_task();
  const ReadResult r = call_reader(reader("zifmtim"), "13:45:30.5 PM", -1, -1, [&](ifmblock &b) {
    b.task = task;
    b.decimals = 3;
    b.flags = 1;
  });
  slot = reinterpret_cast<gcb_entry>(g_real_wzifmn);
  expect_result(r, kOk, Out::kValue, 49530.5);
  ASSERT_EQ(g_seconds.calls, 1);
  EXPECT_EQ(g_seconds.text, "30.5");
  EXPECT_EQ(g_seconds.blk.avail, 4);
  EXPECT_EQ(g_seconds.blk.decimals, 0);
  EXPECT_EQ(g_seconds.blk.target_len, 8);
  EXPECT_EQ(g_seconds.blk.flags, 0);
  EXPECT_EQ(g_seconds.blk.task, task);
  EXPECT_EQ(g_seconds.blk.status, 0u);
}

// A null task context pointer is filled in from the GCB; a given one is used.
TEST_F(Calendar, TaskContextOfTheBlock) {
  for (const char *routine : {"zifmymd", "zifmtim"}) {
    SCOPED_TRACE(routine);
    const std::string text = std::string(routine) == "zifmymd" ? "2011-09-09" : "1:30";
    GuardedField field(text);
    double target = sentinel();
    const auto len = static_cast<int32_t>(text.size());
    ifmblock blk = call_block(field.data(), len, len, &target, 8);
    EXPECT_EQ(reader(routine)(&blk), kOk);
    EXPECT_EQ(blk.task, host->current_task());
    task_context *other = host->new_task();
    blk.task = other;
    EXPECT_EQ(reader(routine)(&blk), kOk);
    EXPECT_EQ(blk.task, other);
  }
}

// A locale's tables: the first table set along the task's object chain.
class CalendarLocale : public Calendar {
 protected:
  // A task context of the test's own whose chain starts with an object that
  // carries no tables.
  task_context *own_task(const locale_tables &t) {
    tables_ = t;
    second_ = task_object{nullptr, 2, 0, &tables_};
    first_ = task_object{&second_, 1, 0, nullptr};
    std::memset(&ctx_, 0, sizeof ctx_);
    std::memcpy(ctx_.eye, "TASKCTX", 8);
    ctx_.objects = &first_;
    return &ctx_;
  }
  static void set(uint8_t (&table)[256], const char *chars, uint8_t on) {
    for (const char *p = chars; *p; ++p) table[static_cast<unsigned char>(*p)] = on;
  }
  // The default locale with one of its tables changed for the given characters.
  static locale_tables changed(uint8_t (locale_tables::*table)[256], const char *chars,
                               uint8_t on) {
    locale_tables t = zbhost::Host::default_locale();
    set(t.*table, chars, on);
    return t;
  }
  locale_tables tables_{};
  task_object first_{}, second_{};
  task_context ctx_{};
};

TEST_F(CalendarLocale, SeparatorsDigitsAndRunsFromTheLocale) {
  locale_tables dots = zbhost::Host::default_locale();
  std::memset(dots.separator, 0, sizeof dots.separator);
  set(dots.separator, ".", 1);
  const locale_tables no_nine = changed(&locale_tables::digit, "9", 0);
  const locale_tables slash_in_run = changed(&locale_tables::run_end, "/", 0);
  const locale_tables dash_in_run = changed(&locale_tables::run_end, "-", 0);
  const locale_tables zero_ends_run = changed(&locale_tables::run_end, "0", 1);
  const locale_tables two_in_run_only = changed(&locale_tables::digit, "2", 0);

  struct Case {
    const locale_tables *tables;
    std::string text;
    int32_t rc;
    const char *why;
  };
  const std::vector<Case> cases = {
      {&dots, "2011.09.09", 0, "the locale's only separator"},
      {&dots, "2011-09-09", 1, "'-' is no separator in this locale"},
      {&no_nine, "2011-09-08", 0, "digits other than 9"},
      {&no_nine, "2011-09-09", 1, "9 is no digit: the text ends in a non-digit"},
      {&slash_in_run, "2011-09-09", 0, "runs still end at '-'"},
      {&slash_in_run, "2011/09/09", 1, "'/' does not end a run: no conversion"},
      {&dash_in_run, "2011-09-09", 1, "one run of ten: compact, and no conversion"},
      {&zero_ends_run, "2011-09-09", 1, "'0' ends the first run: '0' is no separator"},
      {&two_in_run_only, "2011-09-09", 1, "the first character is no digit"},
      {&two_in_run_only, "1222-02-10", 0, "2 only inside the runs and not first or last"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("'" + c.text + "': " + c.why);
    EXPECT_EQ(split(own_task(*c.tables), c.text, -static_cast<int32_t>(c.text.size())).rc, c.rc);
  }
}

// A ten-character text takes a shorter way than the same text with a blank
// behind it; under any locale both must split alike. Each place of the runs
// gets a character that the locale treats unusually.
TEST_F(CalendarLocale, TenCharacterTextSplitsAsTheGeneralWay) {
  const locale_tables nine_ends_run = changed(&locale_tables::run_end, "9", 1);
  const locale_tables one_no_digit = changed(&locale_tables::digit, "1", 0);
  const locale_tables dash_in_run = changed(&locale_tables::run_end, "-", 0);
  const locale_tables plain = zbhost::Host::default_locale();
  std::vector<std::string> texts = {"2011-09-09", "2011/09/09", "2011-09/09", "1111-11-11"};
  for (int at : {0, 1, 2, 3, 5, 6, 8, 9}) {
    std::string t = "1111-11-11";
    t[static_cast<size_t>(at)] = '9';
    texts.push_back(t);
    t[static_cast<size_t>(at)] = '2';
    texts.push_back(t);
  }
  for (const locale_tables *tables : {&plain, &nine_ends_run, &one_no_digit, &dash_in_run}) {
    task_context *task = own_task(*tables);
    for (const std::string &t : texts) {
      SCOPED_TRACE("'" + t + "'");
      const Split fast = split(task, t, -10);
      const Split general = split(task, t + " ", -11);
      EXPECT_EQ(fast.rc, general.rc);
      EXPECT_EQ(fast.a, general.a);
      EXPECT_EQ(fast.b, general.b);
      EXPECT_EQ(fast.c, general.c);
    }
  }
}

TEST_F(CalendarLocale, InstalledLocaleOfTheCurrentTask) {
  locale_tables no_blank = zbhost::Host::default_locale();
  set(no_blank.separator, " ", 0);
  const std::vector<Row> before = {
      {"2011 09 09", -1, -1, kOk, Out::kValue, 18879, "default locale: blank separates"},
  };
  run_rows(reader("i8601da"), before);
  host->set_locale(host->current_task(), no_blank);
  const std::vector<Row> after = {
      {"2011 09 09", -1, -1, kBadDate, Out::kUntouched, 0, "this locale has no blank"},
      {"2011-09-09", -1, -1, kOk, Out::kValue, 18879, "hyphens still do"},
  };
  run_rows(reader("i8601da"), after);
}

TEST_F(CalendarLocale, TokenSetFindsTheSeconds) {
  locale_tables letters_only = zbhost::Host::default_locale();
  set(letters_only.token, "0123456789", 0);
  const std::vector<Row> rows = {
      {"1:30 PM", -1, -1, kOk, Out::kValue, 48600, "P is still a token"},
      {"1:30:45", -1, -1, kBadTime, Out::kUntouched, 0, "digits start nothing after minutes"},
  };
  task_context *task = own_task(letters_only);
  for (const Row &row : rows) {
    SCOPED_TRACE(row.text + ": " + row.why);
    expect_result(call_reader(reader("zifmtim"), row.text, -1, -1,
                              [&](ifmblock &b) { b.task = task; }),
                  row.rc, row.out, row.value);
  }
}

// A task without tables is not read (and not crashed on).
TEST_F(CalendarLocale, TaskWithoutTables) {
  task_context bare;
  std::memset(&bare, 0, sizeof bare);
  EXPECT_EQ(split(&bare, "2011-09-09", -10).rc, 1);
  struct Case {
    const char *routine;
    std::string text;
    uint32_t rc;
  };
  for (const Case &c : {Case{"zifmymd", "2011-09-09", kBadDate}, Case{"zifmtim", "1:30", kBadTime}}) {
    SCOPED_TRACE(c.routine);
    expect_result(call_reader(reader(c.routine), c.text, -1, -1,
                              [&](ifmblock &b) { b.task = &bare; }),
                  c.rc, Out::kUntouched, 0);
  }
}

}  // namespace
}  // namespace zbtest
