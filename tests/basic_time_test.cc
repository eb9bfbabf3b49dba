// b8601tm and b8601tz: basic times (hhmmss, fraction digits, zones) read
// through the extended time readers.
#include "basic_support.h"

namespace {

using namespace basictest;

class BasicTime : public zbtest::ModuleTest {};

TEST_F(BasicTime, TimeValues) {
  run_rows(reader("b8601tm"), {
      {"123045", -1, 0, V(45045), "hhmmss"},
      {"12", -1, 0, V(43200), "hh"},
      {"1230", -1, 0, V(45000), "hhmm"},
      {"000000", -1, 0, V(0), "midnight"},
      {"235959", -1, 0, V(86399), "last second"},
      {"1230455", -1, 0, V(45045.5), "one fraction digit"},
      {"123045123", -1, 0, V(45045.123), "three fraction digits"},
      {"  123045  ", -1, 0, V(45045), "blanks around"},
      {"09    ", 6, 0, V(32400), "hh at the registered minimum width 6"},
      {"12:30:45", -1, 0, V(45045), "extended notation passes through"},
      {"   12:30", -1, 0, V(45000), "leading blanks do not change the routing"},
      {"1", -1, kInvalid, kUntouched, "length 1"},
      {"123", -1, kInvalid, kUntouched, "length 3"},
      {"12304", -1, kInvalid, kUntouched, "length 5"},
      {"123045.5", -1, kInvalid, kUntouched, "a typed '.' is no fraction"},
      {"123045,5", -1, kInvalid, kUntouched, "a typed ',' is no fraction"},
      {"123045Z", -1, kInvalid, kUntouched, "no zone in a plain time"},
      {"12304512a", -1, kInvalid, kUntouched, "letter after fraction digits"},
      {"240000", -1, 0, kMissing, "hour 24 is out of range"},
      {"126000", -1, 0, kMissing, "minute 60 is out of range"},
      {"1a3000", -1, 1, kMissing, "not a digit: the time reader's 1"},
      {"12 30", -1, kInvalid, kUntouched, "inner blank makes length 5"},
  });
}

TEST_F(BasicTime, ZoneValues) {
  run_rows(reader("b8601tz"), {
      {"123045Z", -1, 0, V(45045), "Z"},
      {"123045z", -1, 0, V(45045), "lower-case z"},
      {"123045+0100", -1, 0, V(41445), "east of GMT"},
      {"123045-0500", -1, 0, V(63045), "west of GMT"},
      {"1230455-0500", -1, 0, V(63045.5), "fraction before the zone"},
      {"1230451z", -1, 0, V(45045.1), "fraction then z"},
      {"003000+0100", -1, 0, V(84600), "wraps back past midnight"},
      {"  123045Z ", -1, 0, V(45045), "blanks around"},
      {"12:30:45+01:00", -1, 0, V(41445), "extended notation passes through"},
      {"123045", -1, kInvalid, kUntouched, "no zone: the zone reader rejects"},
      {"123045+01", -1, kInvalid, kUntouched, "sign with two characters"},
      {"123045+01000", -1, kInvalid, kUntouched, "sign with five characters"},
      {"123045Z0", -1, kInvalid, kUntouched, "Z not last"},
      {"123045X", -1, kInvalid, kUntouched, "not a zone letter"},
      {"123045.5Z", -1, kInvalid, kUntouched, "typed '.'"},
      {"1230+0100", -1, kInvalid, kUntouched, "zone after a short time lands in the seconds"},
      {"12", -1, kInvalid, kUntouched, "hh alone has no zone"},
  });
}

// The text each reader builds, checked by comparing with the extended reader
// given that text directly.
TEST_F(BasicTime, TimeHandsOnExtendedText) {
  run_handoffs(reader("b8601tm"), reader("i8601tm"), {
      {"12", "12:00:00", "hh"},
      {"1230", "12:30:00", "hhmm"},
      {"123045", "12:30:45", "hhmmss"},
      {"123045123", "12:30:45.123", "fraction"},
      {"1a3000", "1a:30:00", "characters copied unexamined"},
      {"240000", "24:00:00", "range left to the time reader"},
      {"12:30:45", "12:30:45", "already extended"},
      {"12:30,5", "12:30,5", "already extended, comma fraction"},
  });
}

TEST_F(BasicTime, ZoneHandsOnExtendedText) {
  run_handoffs(reader("b8601tz"), reader("i8601tz"), {
      {"123045Z", "12:30:45Z", "Z"},
      {"123045+0100", "12:30:45+01:00", "+hhmm becomes +hh:mm"},
      {"1230451z", "12:30:45.1z", "z kept in lower case"},
      {"1230455-0500", "12:30:45.5-05:00", "fraction and zone"},
      {"123045+99aa", "12:30:45+99:aa", "zone digits unexamined"},
      {"123045", "12:30:45", "zone reader rejects the missing zone"},
      {"12:30:45-01:00", "12:30:45-01:00", "already extended"},
  });
}

// The digits of hhmmss are checked in one step, those of other lengths one
// by one: every length, a bad byte at every place of hhmmss, and blanks
// that move the text within its window (the field ends at an unreadable
// page) must give what the extended reader gives on the rewritten text,
// under a class table that disagrees with ASCII.
TEST_F(BasicTime, DigitsWhereverTheFieldHoldsThem) {
  disagree_with_ascii(host->gcb_ptr()->ctype);
  std::vector<std::string> times = {"12", "1230", "123046", "1230461", "12304612", "123046123",
                                    "12304612346"};
  for (char bad : {'x', '5', '+', '\xB5'})
    for (int at = 0; at < 6; ++at) {
      std::string t = "123046";
      t[at] = bad;
      times.push_back(t);
      times.push_back(t + "7");
    }
  auto extended = [](const std::string &t) {
    std::string e = t.substr(0, 2) + ":" + (t.size() >= 4 ? t.substr(2, 2) : "00") + ":" +
                    (t.size() >= 6 ? t.substr(4, 2) : "00");
    return t.size() > 6 ? e + "." + t.substr(6) : e;
  };
  ifm_reader tm = reader("b8601tm"), itm = reader("i8601tm");
  for (const std::string &t : times) {
    const zbtest::ReadResult want = zbtest::read_numeric(itm, extended(t));
    for (size_t lead : {0u, 1u, 3u})
      for (size_t trail : {0u, 1u, 2u, 5u, 9u}) {
        const std::string field = std::string(lead, ' ') + t + std::string(trail, ' ');
        SCOPED_TRACE("'" + field + "'");
        expect_same_result(zbtest::read_numeric(tm, field), want);
      }
  }
  // The same digits in a datetime, behind the date.
  ifm_reader dt = reader("b8601dt"), idt = reader("i8601dt");
  for (const std::string &t : times) {
    const zbtest::ReadResult want = zbtest::read_numeric(idt, "2011-09-09T" + extended(t));
    for (size_t trail : {0u, 1u, 4u}) {
      const std::string field = "20110909T" + t + std::string(trail, ' ');
      SCOPED_TRACE("'" + field + "'");
      expect_same_result(zbtest::read_numeric(dt, field), want);
    }
  }
}

TEST_F(BasicTime, EmptyTextIsMidnight) {
  host->set_blank_is_missing(false);
  Call tm = call(reader("b8601tm"), "      ", 6, 6, 0x55);
  EXPECT_EQ(tm.rc, 0u);
  EXPECT_EQ(tm.value, 0.0);
  EXPECT_EQ(tm.status, 0u) << "the inner status word is copied back";
  // 00:00:00 without a zone: the zone reader rejects it, and its status
  // word is copied back all the same.
  Call tz = call(reader("b8601tz"), "       ", 7, 7, 0x55);
  EXPECT_EQ(tz.rc, kInvalid);
  EXPECT_TRUE(zbtest::is_sentinel(tz.value));
  EXPECT_EQ(tz.status, 0u);
}

TEST_F(BasicTime, RejectionLeavesStatusAlone) {
  Call c = call(reader("b8601tm"), "123", 3, 3, 0x55);
  EXPECT_EQ(c.rc, kInvalid);
  EXPECT_EQ(c.status, 0x55u);
}

// A field much wider than the registered widths: the rewritten text must fit
// the work buffer or the field is rejected; blanks cost nothing.
TEST_F(BasicTime, WideFields) {
  ifm_reader tm = reader("b8601tm");
  ifm_reader tz = reader("b8601tz");
  for (int32_t width : {500, 5000}) {
    SCOPED_TRACE(width);
    std::string digits = "123045" + std::string(width - 6, '1');
    expect_result(zbtest::read_numeric(tm, digits), kInvalid, kUntouched);
    expect_result(zbtest::read_numeric(tz, digits.substr(0, width - 1) + "Z"), kInvalid,
                  kUntouched);
    std::string zoned = "123045" + std::string(width - 11, '5') + "+0100";
    expect_result(zbtest::read_numeric(tz, zoned), kInvalid, kUntouched);

    expect_result(zbtest::read_numeric(tm, "123045" + std::string(width - 6, ' ')), 0,
                  V(45045));
    expect_result(zbtest::read_numeric(tz, std::string(width - 7, ' ') + "123045Z"), 0,
                  V(45045));
    // Width far beyond the available bytes: the window is what is available.
    Call c = call(tm, "123045", width, 6);
    EXPECT_EQ(c.rc, 0u);
    EXPECT_EQ(c.value, 45045.0);
  }
}

// The rewritten text is the trimmed length plus three (two colons and the
// fraction point): 197 characters fit the 200-character buffer, 198 do not.
TEST_F(BasicTime, LongestFractionThatFits) {
  ifm_reader tm = reader("b8601tm");
  zbtest::ReadResult fits = zbtest::read_numeric(tm, "123045" + std::string(191, '0'));
  EXPECT_NE(fits.rc, kInvalid) << "handed on, the time reader judges the fraction";
  EXPECT_FALSE(fits.untouched);
  expect_result(zbtest::read_numeric(tm, "123045" + std::string(192, '0')), kInvalid,
                kUntouched);
  // With a zone the designator adds its colon (+hhmm becomes +hh:mm): 196
  // characters fit, 197 do not.
  ifm_reader tz = reader("b8601tz");
  zbtest::ReadResult zfits = zbtest::read_numeric(tz, "123045" + std::string(185, '0') + "+0100");
  EXPECT_NE(zfits.rc, kInvalid);
  expect_result(zbtest::read_numeric(tz, "123045" + std::string(186, '0') + "+0100"), kInvalid,
                kUntouched);
}

}  // namespace
