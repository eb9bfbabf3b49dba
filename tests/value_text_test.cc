// zb_value_text: host values as extended ISO text, exact to the shortest
// decimal of the double; the texts the readers read give themselves back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "host.h"
#include "zelbrant/reader.h"

static_assert(ZB_READER_API_VERSION >= 6, "zb_value_text came with version 6");

namespace {

double day(int64_t y, unsigned m, unsigned d) {
  return static_cast<double>(zbhost::cal::days_from_civil(y, m, d));
}

double missing() {
  const uint64_t bits = 0xFFFFFE0000000000ull;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string text(int32_t kind, double v, uint32_t flags = 0) {
  char buf[512];
  int n = zb_value_text(kind, v, flags, buf, sizeof buf);
  if (n < 0) return "error " + std::to_string(n) + ": " + zb_last_error();
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf));
  return buf;
}

TEST(ValueText, Values) {
  constexpr double kS = 86400;
  const double dt = day(2011, 9, 9) * kS + 45045;  // 2011-09-09T12:30:45
  struct Row {
    int32_t kind;
    double value;
    uint32_t flags;
    const char *want;
    const char *why;
  } rows[] = {
      {ZB_KIND_DATE, 0, 0, "1960-01-01", "the epoch"},
      {ZB_KIND_DATE, -1, 0, "1959-12-31", "a day back"},
      {ZB_KIND_DATE, -0.5, 0, "1959-12-31", "a fraction: the day it falls in"},
      {ZB_KIND_DATE, day(2000, 2, 29) + 0.75, 0, "2000-02-29", "a fraction after 1960"},
      {ZB_KIND_DATE, day(1582, 10, 15), 0, "1582-10-15", "the first Gregorian day"},
      {ZB_KIND_DATE, day(1582, 1, 1), 0, "1582-01-01", "the first host day"},
      {ZB_KIND_DATE, day(9999, 12, 31), 0, "9999-12-31", "the last four-digit day"},
      {ZB_KIND_DATE, day(2011, 9, 9), ZB_TEXT_ZONE, "2011-09-09", "no zone on a date"},
      {ZB_KIND_TIME, 45045.75, 0, "12:30:45.75", "a fraction"},
      {ZB_KIND_TIME, 0.1, 0, "00:00:00.1", "0.1 is no binary fraction: shortest"},
      {ZB_KIND_TIME, 45045.1234567, 0, "12:30:45.1234567", "seven places"},
      {ZB_KIND_TIME, 1e-9, 0, "00:00:00.000000001", "below a microsecond"},
      {ZB_KIND_TIME, 86399.999999, 0, "23:59:59.999999", "no rounding up to 24:00"},
      {ZB_KIND_TIME, -5400, 0, "-01:30:00", "negative: signed hours"},
      {ZB_KIND_TIME, -0.5, 0, "-00:00:00.5", "negative below a second"},
      {ZB_KIND_TIME, -0.0, 0, "00:00:00", "negative zero has no sign"},
      {ZB_KIND_TIME, 90000, 0, "25:00:00", "beyond 24 hours"},
      {ZB_KIND_TIME, 1e14, 0, "27777777777:46:40", "a huge time in hours"},
      {ZB_KIND_TIME, 45045, ZB_TEXT_ZONE, "12:30:45Z", "zone"},
      {ZB_KIND_DATETIME, dt, 0, "2011-09-09T12:30:45", "whole seconds"},
      {ZB_KIND_DATETIME, dt + 0.123456, 0, "2011-09-09T12:30:45.123456",
       "16 significant digits survive"},
      {ZB_KIND_DATETIME, dt - 14 + 0.999999, ZB_TEXT_ZONE, "2011-09-09T12:30:31.999999Z",
       "no rounding to :32, and the zone"},
      {ZB_KIND_DATETIME, -0.876544, 0, "1959-12-31T23:59:59.123456", "no noise before 1960"},
      {ZB_KIND_DATETIME, day(2200, 1, 1) * kS + 0.25, 0, "2200-01-01T00:00:00.25",
       "beyond 2^32 seconds"},
      {ZB_KIND_DATETIME, -86400.5, 0, "1959-12-30T23:59:59.5", "a day and a half back"},
      {ZB_KIND_DATETIME, 1e-7, 0, "1960-01-01T00:00:00.0000001", "leading fraction zeros"},
      {ZB_KIND_DATETIME, -1e-7, 0, "1959-12-31T23:59:59.9999999", "complement of a tiny one"},
      {ZB_KIND_DATETIME, day(1582, 1, 1) * kS, 0, "1582-01-01T00:00:00", "first instant"},
      {ZB_KIND_DATETIME, day(9999, 12, 31) * kS + 86399.999, 0, "9999-12-31T23:59:59.999",
       "last millisecond"},
      {ZB_KIND_DATETIME, day(1900, 3, 1) * kS + 0.001, 0, "1900-03-01T00:00:00.001",
       "1900 is no leap year"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    EXPECT_EQ(text(r.kind, r.value, r.flags), r.want);
  }
}

TEST(ValueText, Refusals) {
  constexpr double kS = 86400;
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    int32_t kind;
    double value;
    uint32_t flags;
    int want;
    const char *message;  // a part of zb_last_error()
  } rows[] = {
      {ZB_KIND_DATETIME, missing(), 0, ZB_E_RANGE, "missing value"},
      {ZB_KIND_DATE, missing(), 0, ZB_E_RANGE, "missing value"},
      {ZB_KIND_TIME, std::nan(""), 0, ZB_E_RANGE, "not a number"},
      {ZB_KIND_TIME, -inf, 0, ZB_E_RANGE, "infinite"},
      {ZB_KIND_DATE, day(1581, 12, 31), 0, ZB_E_RANGE, "before 1582-01-01"},
      {ZB_KIND_DATE, day(10000, 1, 1), 0, ZB_E_RANGE, "after 9999-12-31"},
      {ZB_KIND_DATETIME, day(1582, 1, 1) * kS - 0.001, 0, ZB_E_RANGE, "before 1582-01-01"},
      {ZB_KIND_DATETIME, day(10000, 1, 1) * kS, 0, ZB_E_RANGE, "after 9999-12-31"},
      {ZB_KIND_TIME, -1e15, 0, ZB_E_RANGE, "1e15 seconds"},
      {ZB_KIND_DURATION, 0, 0, ZB_E_KIND, "no date, time or datetime"},
      {-1, 0, 0, ZB_E_KIND, "no date, time or datetime"},
      {ZB_KIND_TIME, 0, 2, ZB_E_OPTION, "unknown flags"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.message);
    char buf[64] = "untouched";
    EXPECT_EQ(zb_value_text(r.kind, r.value, r.flags, buf, sizeof buf), r.want);
    EXPECT_NE(std::string(zb_last_error()).find(r.message), std::string::npos) << zb_last_error();
    EXPECT_STREQ(buf, "untouched");
  }
  EXPECT_EQ(zb_value_text(ZB_KIND_DATE, 0, 0, nullptr, 4), ZB_E_NULL);
}

TEST(ValueText, CutToSize) {
  const double v = -0.876544;  // 1959-12-31T23:59:59.123456, 26 characters
  EXPECT_EQ(zb_value_text(ZB_KIND_DATETIME, v, 0, nullptr, 0), 26);
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(zb_value_text(ZB_KIND_DATETIME, v, 0, buf, 5), 26);
  EXPECT_STREQ(buf, "1959");
  EXPECT_EQ(buf[5], 'x');
  EXPECT_EQ(zb_value_text(ZB_KIND_DATETIME, v, 0, buf, 1), 26);
  EXPECT_STREQ(buf, "");
}

// The texts readers read come back as they were written (zoned ones in GMT).
TEST(ValueText, ReadersTextsComeBack) {
  zb_handle *h = nullptr;
  ASSERT_EQ(zb_open("zelbrant", nullptr, &h), ZB_OK) << zb_last_error();
  struct Row {
    const char *reader;
    const char *text;
    int32_t kind;
    uint32_t flags;
    const char *want;  // null: the text itself
  } rows[] = {
      {"i8601dt", "2011-09-09T12:30:45.123456", ZB_KIND_DATETIME, 0, nullptr},
      {"i8601dt", "1959-12-31T23:59:59.123456", ZB_KIND_DATETIME, 0, nullptr},
      {"i8601dt", "1582-10-15T00:00:00.001", ZB_KIND_DATETIME, 0, nullptr},
      {"i8601dt", "9999-12-31T23:59:59.999", ZB_KIND_DATETIME, 0, nullptr},
      {"i8601dt", "1600-02-29T23:59:59.987654", ZB_KIND_DATETIME, 0, nullptr},
      {"i8601tm", "12:30:45.75", ZB_KIND_TIME, 0, nullptr},
      {"i8601da", "1582-10-15", ZB_KIND_DATE, 0, nullptr},
      {"i8601dz", "2011-09-09T12:30:31.999999+01:00", ZB_KIND_DATETIME, ZB_TEXT_ZONE,
       "2011-09-09T11:30:31.999999Z"},
      {"B8601DZ26", "20110909T1230319999Z", ZB_KIND_DATETIME, ZB_TEXT_ZONE,
       "2011-09-09T12:30:31.9999Z"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.text);
    int32_t id = -1;
    ASSERT_EQ(zb_lookup(h, r.reader, -1, &id), ZB_OK) << zb_last_error();
    double v = 0;
    uint32_t code = 1;
    ASSERT_EQ(zb_read_field(h, id, r.text, std::strlen(r.text), &v, &code), ZB_OK);
    ASSERT_EQ(code, 0u);
    EXPECT_EQ(text(r.kind, v, r.flags), r.want ? r.want : r.text);
  }
  zb_close(h);
}

}  // namespace
