// b8601dt, b8601dz, b8601dj and b8601ci: basic datetimes read through the
// extended datetime readers.
#include "basic_support.h"

namespace {

using namespace basictest;

constexpr double k20110909T123045 = 1631190645;  // 2011-09-09T12:30:45

class BasicDatetime : public zbtest::ModuleTest {};

TEST_F(BasicDatetime, DtValues) {
  run_rows(reader("b8601dt"), {
      {"20110909T123045", -1, 0, V(k20110909T123045), "basic date and time"},
      {"20110909", -1, 0, V(k20110909 * kDay), "date alone is midnight"},
      {"20110909t123045", -1, 0, V(k20110909T123045), "lower-case t behind a full date"},
      {"20110909T1230", -1, 0, V(k20110909T123045 - 45), "hhmm"},
      {"20110909T12", -1, 0, V(k20110909 * kDay + 43200), "hh"},
      {"20110909t123045123", -1, 0, V(k20110909T123045 + 0.123), "fraction digits"},
      {"2011-09-09T123045", -1, 0, V(k20110909T123045), "extended date, basic time"},
      {"20110909T12:30:45", -1, 0, V(k20110909T123045), "basic date, extended time"},
      {"2011-09-09T12:30:45", -1, 0, V(k20110909T123045), "extended: passed through"},
      {"201109T12", -1, 0, V(18871 * kDay + 43200), "year and month"},
      {"2011", -1, 0, V(18628 * kDay), "year alone"},
      {"  20110909T123045  ", -1, 0, V(k20110909T123045), "blanks around"},
      {"20110909T240000", -1, 0, kMissing, "hour 24: time reader's missing value"},
      {"20110909 123045", -1, kInvalid, kUntouched, "blank instead of T"},
      {"20110909123045", -1, kInvalid, kUntouched, "T left out"},
      {"20110909X123045", -1, kInvalid, kUntouched, "other separator"},
      {"20110909T123045Z", -1, kInvalid, kUntouched, "no zone allowed"},
      {"2011090T1230", -1, kInvalid, kUntouched, "date part of 7 without '-'"},
      {"20110909T12304", -1, kInvalid, kUntouched, "time of 5 characters"},
      {"2011-9-9T123045", -1, kInvalid, kUntouched, "short month and day"},
      {"2011-09-09 12:30:45", -1, kInvalid, kUntouched, "not routed: '-' before 6, no T"},
      {"2011-09-09t12:30:45", -1, kInvalid, kUntouched, "lower t after an extended date"},
      {"2011-09-09t123045", -1, kInvalid, kUntouched, "lower t after an extended date"},
      {"201109t1230", -1, kInvalid, kUntouched, "lower t after a short date"},
      {"T123045", -1, kInvalid, kUntouched, "empty date part"},
  });
}

TEST_F(BasicDatetime, DzValues) {
  run_rows(reader("b8601dz"), {
      {"20110909T123045Z", -1, 0, V(k20110909T123045), "Z"},
      {"20110909T123045z", -1, 0, V(k20110909T123045), "lower-case z"},
      {"20110909T123045+0100", -1, 0, V(k20110909T123045 - 3600), "east"},
      {"20110909T123045-0500", -1, 0, V(k20110909T123045 + 18000), "west"},
      {"20110909T003000+0100", -1, 0, V(k20110909 * kDay - 1800), "into the day before"},
      {"20110909T1230455Z", -1, 0, V(k20110909T123045 + 0.5), "fraction then Z"},
      {"2011-09-09T12:30:45+01:00", -1, 0, V(k20110909T123045 - 3600), "extended"},
      {"20110909T123045", -1, kInvalid, kUntouched, "no zone: the zone reader rejects"},
      {"20110909T123045+01", -1, kInvalid, kUntouched, "short zone"},
      {"20110909T123045Z0", -1, kInvalid, kUntouched, "Z not last"},
      {"20110909T1230+0100", -1, kInvalid, kUntouched, "zone after a short time"},
      {"20110909 123045Z", -1, kInvalid, kUntouched, "blank instead of T"},
  });
}

TEST_F(BasicDatetime, DjValues) {
  run_rows(reader("b8601dj"), {
      {"20110909123045", -1, 0, V(k20110909T123045), "T left out"},
      {"20110909 123045", -1, 0, V(k20110909T123045), "blank trimmed off the time part"},
      {"20110909T123045", -1, 0, V(k20110909T123045), "with T"},
      {"20110909t123045", -1, 0, V(k20110909T123045), "with t"},
      {"2011090912", -1, 0, V(k20110909 * kDay + 43200), "hh"},
      {"20110909", -1, 0, V(k20110909 * kDay), "midnight"},
      {"20110909123045Z", -1, kInvalid, kUntouched, "no zone allowed"},
      {"20110909X123045", -1, 1, kMissing, "X begins the time: the time reader's 1"},
  });
}

TEST_F(BasicDatetime, CiValues) {
  run_rows(reader("b8601ci"), {
      {"1110909T123045", -1, 0, V(k20110909T123045), "century digit 1: 20xx"},
      {"1110909T123045", 14, 0, V(k20110909T123045), "text fills its width"},
      {"0991231123045", -1, 0, V(1262262645), "century digit 0: 19xx, no T"},
      {"1110909 123045", -1, 0, V(k20110909T123045), "blank separator"},
      {"1110909", -1, 0, V(k20110909 * kDay), "date alone"},
      {"20110909T123045", -1, kBadDate, kMissing, "century 21: 2101-10-90"},
      {" 20110909T123045", -1, 0, V(k20110909T123045), "no digit first: read as b8601dj"},
      {"-110909T123045", -1, kInvalid, kUntouched, "no digit first, bad date"},
      {"1110909T123045Z", -1, kInvalid, kUntouched, "no zone allowed"},
  });
}

TEST_F(BasicDatetime, HandsOnExtendedText) {
  run_handoffs(reader("b8601dt"), reader("i8601dt"), {
      {"20110909T123045", "2011-09-09T12:30:45", ""},
      {"20110909T1230", "2011-09-09T12:30:00", ""},
      {"20110909", "2011-09-09T00:00:00", ""},
      {"201109T12", "2011-09-01T12:00:00", "reduced date"},
      {"2011-09-09T123045", "2011-09-09T12:30:45", "extended date"},
      {"20110909T12:30:45", "2011-09-09T12:30:45", "extended time"},
      {"20110909t123045123", "2011-09-09T12:30:45.123", "t and fraction"},
      {"20111309T1230", "2011-13-09T12:30:00", "calendar judged by the date reader"},
      {"2011x909T1a30", "2011-x9-09T1a:30:00", "characters copied unexamined"},
      {"2011-09-09T12:30:45", "2011-09-09T12:30:45", "passed through"},
  });
  run_handoffs(reader("b8601dz"), reader("i8601dz"), {
      {"20110909T123045Z", "2011-09-09T12:30:45Z", ""},
      {"20110909T123045-0500", "2011-09-09T12:30:45-05:00", "zone"},
      {"20110909T123045", "2011-09-09T12:30:45", "no zone"},
  });
  run_handoffs(reader("b8601dj"), reader("i8601dt"), {
      {"20110909123045", "2011-09-09T12:30:45", ""},
      {"20110909 123045", "2011-09-09T12:30:45", "blank trimmed"},
  });
  run_handoffs(reader("b8601ci"), reader("i8601dt"), {
      {"1110909T123045", "2011-09-09T12:30:45", ""},
      {"0991231123045", "1999-12-31T12:30:45", ""},
      {"20110909T123045", "2101-10-90T9T:12:30.45", "the 9 after the date begins the time"},
  });
}

// Apart from missing notation the datetime readers leave the caller's status
// word alone.
TEST_F(BasicDatetime, StatusWordLeftAlone) {
  struct {
    const char *name, *text;
  } rows[] = {{"b8601dt", "20110909T123045"},
              {"b8601dz", "20110909T123045Z"},
              {"b8601dj", "20110909123045"},
              {"b8601ci", "1110909T123045"},
              {"b8601ci", "111"}};
  for (const auto &r : rows) {
    SCOPED_TRACE(std::string(r.name) + " " + r.text);
    int32_t n = static_cast<int32_t>(std::strlen(r.text));
    EXPECT_EQ(call(reader(r.name), r.text, n, n, 0x55).status, 0x55u);
  }
}

TEST_F(BasicDatetime, EmptyTextIsRejected) {
  host->set_blank_is_missing(false);
  for (const char *name : {"b8601dt", "b8601dz", "b8601dj", "b8601ci"}) {
    SCOPED_TRACE(name);
    Call c = call(reader(name), std::string(16, ' '), 16, 16);
    EXPECT_EQ(c.rc, kInvalid);
    EXPECT_TRUE(zbtest::is_sentinel(c.value));
  }
}

TEST_F(BasicDatetime, ReadsOnlyTheWindow) {
  Call c = call(reader("b8601dt"), "20110909", 8, 8, 0, "T123045");
  EXPECT_EQ(c.rc, 0u);
  EXPECT_EQ(c.value, k20110909 * kDay);
  c = call(reader("b8601dz"), "20110909T123045", 15, 40, 0, "Z");
  EXPECT_EQ(c.rc, kInvalid) << "the Z lies outside the width";
  // b8601ci expands exactly the window, not the bytes after it.
  c = call(reader("b8601ci"), "1110909", 30, 7, 0, "T123045");
  EXPECT_EQ(c.rc, 0u);
  EXPECT_EQ(c.value, k20110909 * kDay);
  c = call(reader("b8601ci"), "1", 1, 1, 0, "110909");
  EXPECT_EQ(c.rc, kInvalid) << "19 alone: date part too short";
}

TEST_F(BasicDatetime, WideFields) {
  ifm_reader dt = reader("b8601dt");
  ifm_reader dz = reader("b8601dz");
  ifm_reader ci = reader("b8601ci");
  for (int32_t width : {500, 5000}) {
    SCOPED_TRACE(width);
    size_t w = static_cast<size_t>(width);
    std::string basic = "20110909T123045";
    std::string ext_time = "20110909T12:30:45.";
    expect_result(zbtest::read_numeric(dt, basic + std::string(w - basic.size(), '1')),
                  kInvalid, kUntouched);
    expect_result(zbtest::read_numeric(dt, ext_time + std::string(w - ext_time.size(), '1')),
                  kInvalid, kUntouched);
    expect_result(zbtest::read_numeric(dz, basic + std::string(w - basic.size() - 1, '1') + "Z"),
                  kInvalid, kUntouched);
    expect_result(zbtest::read_numeric(ci, "1110909T123045" + std::string(w - 14, '0')), kInvalid,
                  kUntouched);

    // Blanks do not count against the buffers.
    expect_result(zbtest::read_numeric(dt, basic + std::string(w - basic.size(), ' ')), 0,
                  V(k20110909T123045));
    expect_result(zbtest::read_numeric(dz, std::string(w - 16, ' ') + basic + "Z"), 0,
                  V(k20110909T123045));
    expect_result(zbtest::read_numeric(ci, "1110909T123045" + std::string(w - 14, ' ')), 0,
                  V(k20110909T123045));
    expect_result(zbtest::read_numeric(ci, " 20110909T123045" + std::string(w - 16, ' ')), 0,
                  V(k20110909T123045));
    Call c = call(ci, "1110909T123045", width, 14);
    EXPECT_EQ(c.rc, 0u);
    EXPECT_EQ(c.value, k20110909T123045);

    // Extended notation goes straight to the extended reader, unbuffered.
    std::string routed = "2011-09-09T12:30:45." + std::string(w - 20, '0');
    zbtest::ReadResult r = zbtest::read_numeric(dt, routed);
    EXPECT_NE(r.rc, kInvalid);
    EXPECT_FALSE(r.untouched);
  }
}

// Where the buffers end: the datetime text is 11 characters of date and 'T'
// and then the time text, 200 in all; b8601ci expands the field by one
// character into 100.
TEST_F(BasicDatetime, LongestTextsThatFit) {
  ifm_reader dt = reader("b8601dt");
  // A basic time of k characters becomes k + 3: k = 186 fits, 187 does not.
  zbtest::ReadResult fits = zbtest::read_numeric(dt, "20110909T123045" + std::string(180, '0'));
  EXPECT_NE(fits.rc, kInvalid);
  EXPECT_FALSE(fits.untouched);
  expect_result(zbtest::read_numeric(dt, "20110909T123045" + std::string(181, '0')), kInvalid,
                kUntouched);
  // An extended time is copied as it stands: 189 characters fit.
  fits = zbtest::read_numeric(dt, "20110909T12:30:45." + std::string(180, '0'));
  EXPECT_NE(fits.rc, kInvalid);
  EXPECT_FALSE(fits.untouched);
  expect_result(zbtest::read_numeric(dt, "20110909T12:30:45." + std::string(181, '0')), kInvalid,
                kUntouched);

  ifm_reader ci = reader("b8601ci");
  zbtest::ReadResult cfits = zbtest::read_numeric(ci, "1110909T123045" + std::string(85, '0'));
  EXPECT_NE(cfits.rc, kInvalid) << "99 characters expand to 100";
  EXPECT_FALSE(cfits.untouched);
  expect_result(zbtest::read_numeric(ci, "1110909T123045" + std::string(86, '0')), kInvalid,
                kUntouched);
  expect_result(zbtest::read_numeric(ci, "1110909T123045" + std::string(86, ' ')), 0,
                V(k20110909T123045));
}

}  // namespace
