// Values as data: exact ticks of host values at every unit, ticks and parts
// of whole columns, and the records' layouts from raw bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zelbrant/reader.h"

namespace {

constexpr int64_t kEpoch = 315619200;  // 1960-01-01 to 1970-01-01 in seconds
constexpr int64_t kPerSecond[4] = {1, 1000, 1000000, 1000000000};

int64_t ticks(int32_t kind, double v, int32_t unit) {
  int64_t t = 0;
  EXPECT_EQ(zb_value_ticks(kind, v, unit, &t), ZB_OK) << v << ": " << zb_last_error();
  return t;
}

TEST(ValueTicks, ExactAtEveryUnit) {
  struct Row {
    int32_t kind;
    double value;
    int64_t s, ms, us, ns;
    const char *why;
  };
  const Row rows[] = {
      // The double nearest 315619834.014 lies below it; the text meant .014.
      {ZB_KIND_DATETIME, 315619834.014, 634, 634014, 634014000, 634014000000,
       "1970-01-01T00:10:34.014"},
      {ZB_KIND_DATETIME, 0, -kEpoch, -kEpoch * 1000, -kEpoch * 1000000, -kEpoch * 1000000000,
       "1960-01-01"},
      {ZB_KIND_DATETIME, -0.1, -kEpoch - 1, -kEpoch * 1000 - 100, -kEpoch * 1000000 - 100000,
       -kEpoch * 1000000000 - 100000000, "before 1960: floored toward the past"},
      {ZB_KIND_DATETIME, 1631190645.5, 1315571445, 1315571445500, 1315571445500000,
       1315571445500000000, "2011-09-09T12:30:45.5"},
      {ZB_KIND_DATETIME, 1631190645.123456, 1315571445, 1315571445123, 1315571445123456,
       1315571445123456000, "microseconds in 2011"},
      {ZB_KIND_DATE, 18879, 1315526400, 1315526400000, 1315526400000000, 1315526400000000000,
       "2011-09-09"},
      {ZB_KIND_DATE, -3653, -2 * kEpoch, -2 * kEpoch * 1000, -2 * kEpoch * 1000000,
       -2 * kEpoch * 1000000000, "1950-01-01"},
      {ZB_KIND_TIME, 86399.999, 86399, 86399999, 86399999000, 86399999000000,
       "23:59:59.999 stays in its day at s"},
      {ZB_KIND_TIME, 45045.123456789, 45045, 45045123, 45045123456, 45045123456789,
       "nanoseconds of a time"},
  };
  for (const Row &r : rows) {
    const int64_t want[4] = {r.s, r.ms, r.us, r.ns};
    for (int32_t u = ZB_UNIT_S; u <= ZB_UNIT_NS; ++u)
      EXPECT_EQ(ticks(r.kind, r.value, u), want[u]) << r.why << " unit " << u;
  }
}

TEST(ValueTicks, RefusedValues) {
  double missing;
  const uint64_t missing_bits = 0xFFFFFE0000000000ull;
  std::memcpy(&missing, &missing_bits, sizeof missing);
  struct Row {
    int32_t kind, unit;
    double value;
    int rc;
  } rows[] = {
      {ZB_KIND_DATETIME, ZB_UNIT_NS, missing, ZB_E_RANGE},
      {ZB_KIND_DATETIME, ZB_UNIT_NS, NAN, ZB_E_RANGE},
      {ZB_KIND_DATETIME, ZB_UNIT_NS, INFINITY, ZB_E_RANGE},
      // 1677-09-21 is the first day of ns; 1600 is out of it, not of us.
      {ZB_KIND_DATE, ZB_UNIT_NS, -131492, ZB_E_RANGE},
      {ZB_KIND_DATE, ZB_UNIT_US, -131492, ZB_OK},
      {ZB_KIND_DATETIME, ZB_UNIT_NS, 1e300, ZB_E_RANGE},
      {ZB_KIND_DURATION, ZB_UNIT_NS, 0, ZB_E_KIND},
      {ZB_KIND_DATETIME, 4, 0, ZB_E_RANGE},
  };
  for (const Row &r : rows) {
    int64_t t = 5;
    EXPECT_EQ(zb_value_ticks(r.kind, r.value, r.unit, &t), r.rc) << r.value;
    if (r.rc) {
      EXPECT_EQ(t, ZB_NAT);
      EXPECT_STRNE(zb_last_error(), "");
    }
  }
  EXPECT_EQ(zb_value_ticks(ZB_KIND_DATE, 0, ZB_UNIT_S, nullptr), ZB_E_NULL);
}

// Random decimals with as many fraction digits as the double resolves,
// before 1960, around 1970 and after 2200: the ticks are the decimal's,
// floored to the unit.
TEST(ValueTicks, RandomDecimalsExact) {
  std::mt19937_64 rng(20250101);
  const int64_t ranges[][2] = {{-10LL * 365 * 86400, 10LL * 365 * 86400},  // 1950-1970 around 1960
                               {kEpoch - 86400 * 400, kEpoch + 86400 * 400},
                               {-300LL * 365 * 86400, -1},                // 1660-1960
                               {240LL * 365 * 86400, 8000LL * 365 * 86400}};  // 2200-9960
  for (const auto &range : ranges) {
    std::uniform_int_distribution<int64_t> sec(range[0], range[1]);
    for (int i = 0; i < 3000; ++i) {
      const int64_t s = sec(rng);
      // Digits the double tells apart: 10^-d at least 4 ulps.
      const double ulp = std::nextafter(std::fabs(static_cast<double>(s)) + 1, INFINITY) -
                         (std::fabs(static_cast<double>(s)) + 1);
      int d = 0;
      while (d < 9 && std::pow(10.0, -(d + 1)) >= 4 * ulp) ++d;
      const int64_t p10 = kPerSecond[d / 3] * (d % 3 == 0 ? 1 : d % 3 == 1 ? 10 : 100);
      const int64_t f = static_cast<int64_t>(rng() % static_cast<uint64_t>(p10));
      char text[64];
      // (s * 10^d + f) / 10^d as decimal text.
      const int64_t scaled = s * p10 + f;
      std::snprintf(text, sizeof text, "%s%lld.%0*lld", scaled < 0 ? "-" : "",
                    static_cast<long long>(std::llabs(scaled) / p10), d,
                    static_cast<long long>(std::llabs(scaled) % p10));
      if (d == 0) std::snprintf(text, sizeof text, "%lld", static_cast<long long>(scaled));
      const double v = std::strtod(text, nullptr);
      for (int32_t u = ZB_UNIT_S; u <= ZB_UNIT_NS; ++u) {
        // floor(scaled / 10^d * per_second) - epoch * per_second, exact.
        const __int128 num = static_cast<__int128>(scaled) * kPerSecond[u];
        __int128 q = num / p10;
        if (q * p10 > num) --q;
        const __int128 want = q - static_cast<__int128>(kEpoch) * kPerSecond[u];
        if (want <= INT64_MIN || want > INT64_MAX) continue;
        ASSERT_EQ(ticks(ZB_KIND_DATETIME, v, u), static_cast<int64_t>(want))
            << text << " unit " << u;
      }
    }
  }
}

class Values : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zb_open("zelbrant", nullptr, &h), ZB_OK) << zb_last_error(); }
  void TearDown() override { zb_close(h); }
  int32_t reader(const char *name) {
    int32_t id = -1;
    EXPECT_EQ(zb_lookup(h, name, -1, &id), ZB_OK) << name << ": " << zb_last_error();
    return id;
  }
  zb_handle *h = nullptr;
};

// A column of texts in the offsets layout, with every row present.
struct Texts {
  explicit Texts(const std::vector<std::string> &t) {
    offsets.push_back(0);
    for (const std::string &s : t) {
      data += s;
      offsets.push_back(static_cast<int64_t>(data.size()));
    }
    col.data = data.data();
    col.n = t.size();
    col.offsets = offsets.data();
  }
  std::string data;
  std::vector<int64_t> offsets;
  zb_column col{};
};

TEST_F(Values, TicksOfAColumnAcrossChunks) {
  // More rows than one chunk, with a missing, a failed and an
  // out-of-range row near the end, and a validity bitmap.
  std::vector<std::string> t(1300, "20110909T123045");
  t[1200] = "";
  t[1201] = "bad";
  t[1202] = "16000101T000000";
  t[1203] = "19700101T001034014";
  Texts c(t);
  std::vector<uint8_t> valid((t.size() + 7) / 8, 0xFF);
  valid[1299 / 8] &= static_cast<uint8_t>(~(1u << (1299 % 8)));
  c.col.validity = valid.data();
  std::vector<int64_t> out(t.size(), 7);
  std::vector<uint32_t> codes(t.size(), 7);
  ASSERT_EQ(zb_read_ticks(h, reader("B8601DT"), &c.col, ZB_UNIT_NS, out.data(), codes.data()),
            ZB_OK)
      << zb_last_error();
  EXPECT_EQ(out[0], 1315571445000000000);
  EXPECT_EQ(out[1199], 1315571445000000000);
  EXPECT_EQ(out[1200], ZB_NAT);
  EXPECT_EQ(codes[1200], 0u);
  EXPECT_EQ(out[1201], ZB_NAT);
  EXPECT_NE(codes[1201], 0u);
  EXPECT_EQ(out[1202], ZB_NAT);
  EXPECT_EQ(codes[1202], ZB_CODE_RANGE);
  EXPECT_STREQ(zb_code_text(ZB_CODE_RANGE), "value outside what the unit holds");
  EXPECT_EQ(out[1203], 634014000000);
  EXPECT_EQ(out[1299], ZB_NAT);
  EXPECT_EQ(codes[1299], 0u);
}

// What a reader composes (day * 86400 + clock, rounded at each step) stands
// for the text's own decimal at every unit, even where that double is not
// the one nearest the decimal as a number.
TEST_F(Values, TicksOfComposedValuesAreTheTextsDecimal) {
  struct Row {
    const char *text;
    int64_t us;  // microseconds since 1970
    const char *why;
  } rows[] = {
      {"19620101T090700506910", -252427979493090, "six places, no short decimal as a number"},
      {"19700101T001034014", 634014000, "near 1970"},
      {"19591231T235959123456", -315619200876544, "before 1960"},
      {"21011231T235959999999", 4165516799999999, "after 2100"},
  };
  const int32_t r = reader("B8601DT26.");
  for (const Row &row : rows) {
    SCOPED_TRACE(row.text);
    Texts c({row.text});
    int64_t us = 0, ns = 0;
    uint32_t code = 1;
    ASSERT_EQ(zb_read_ticks(h, r, &c.col, ZB_UNIT_US, &us, &code), ZB_OK) << zb_last_error();
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(us, row.us) << row.why;
    ASSERT_EQ(zb_read_ticks(h, r, &c.col, ZB_UNIT_NS, &ns, &code), ZB_OK);
    EXPECT_EQ(ns, row.us * 1000) << row.why;
  }
}

TEST_F(Values, CallErrors) {
  Texts c({"P1D"});
  int64_t t;
  uint32_t code;
  zb_entity_parts p;
  EXPECT_EQ(zb_read_ticks(h, reader("$IS860DU"), &c.col, ZB_UNIT_NS, &t, &code), ZB_E_KIND);
  EXPECT_EQ(zb_read_parts(h, reader("B8601DT"), &c.col, &p, &code), ZB_E_KIND);
  EXPECT_EQ(zb_read_ticks(h, reader("B8601DT"), &c.col, 9, &t, &code), ZB_E_RANGE);
  EXPECT_EQ(zb_read_ticks(h, reader("B8601DT"), &c.col, ZB_UNIT_S, nullptr, &code), ZB_E_NULL);
  EXPECT_EQ(zb_read_ticks(h, 99, &c.col, ZB_UNIT_S, &t, &code), ZB_E_READER);
}

TEST_F(Values, DurationParts) {
  struct Row {
    const char *text;
    int32_t form, sign;
    int64_t y, mo, d, h, mi, s, th;
    uint32_t given, fraction_of;
    int32_t weeks;
  } rows[] = {
      {"P1Y2M10DT2H30M", ZB_FORM_DURATION, 1, 1, 2, 10, 2, 30, 0, 0, 0x1F, 0, 0},
      {"-P1Y", ZB_FORM_DURATION, -1, 1, 0, 0, 0, 0, 0, 0, ZB_PART_YEARS, 0, 0},
      {"PT36H", ZB_FORM_SINGLE_UNIT, 1, 0, 0, 0, 36, 0, 0, 0, ZB_PART_HOURS, 0, 0},
      {"PT36.5H", ZB_FORM_SINGLE_UNIT, 1, 0, 0, 0, 36, 0, 0, 500, ZB_PART_HOURS | ZB_PART_FRACTION,
       ZB_PART_HOURS, 0},
      {"P2W", ZB_FORM_SINGLE_UNIT, 1, 0, 0, 14, 0, 0, 0, 0, ZB_PART_DAYS, 0, 1},
      {"", ZB_FORM_MISSING, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  std::vector<std::string> t;
  for (const Row &r : rows) t.push_back(r.text);
  Texts c(t);
  std::vector<zb_entity_parts> out(t.size());
  std::vector<uint32_t> codes(t.size());
  ASSERT_EQ(zb_read_parts(h, reader("$IS860DU"), &c.col, out.data(), codes.data()), ZB_OK)
      << zb_last_error();
  for (size_t i = 0; i < t.size(); ++i) {
    const Row &r = rows[i];
    const zb_entity_parts &p = out[i];
    SCOPED_TRACE(r.text);
    EXPECT_EQ(codes[i], 0u);
    EXPECT_EQ(p.form, r.form);
    EXPECT_EQ(p.sign, r.sign);
    const int64_t got[7] = {p.years, p.months, p.days, p.hours, p.minutes, p.seconds,
                            p.thousandths};
    const int64_t want[7] = {r.y, r.mo, r.d, r.h, r.mi, r.s, r.th};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(got[k], want[k]) << "component " << k;
    EXPECT_EQ(p.given, r.given);
    EXPECT_EQ(p.fraction_of, r.fraction_of);
    EXPECT_EQ(p.weeks, r.weeks);
  }
}

TEST_F(Values, IntervalEnds) {
  constexpr int64_t k20110101 = 1293840000;
  struct Row {
    const char *text;
    int64_t start, end;  // seconds
    uint32_t code;
    int64_t months;
  } rows[] = {
      {"2011-01-01/P1M", k20110101, k20110101 + 31 * 86400, 0, 1},
      {"2011-01-31T10:00:00/P1M", k20110101 + 30 * 86400 + 36000,
       k20110101 + (31 + 27) * 86400 + 36000, 0, 1},  // February's last day
      {"P1D/2011-01-02", k20110101, k20110101 + 86400, 0, 0},
      {"2011-01-01/2011-02-01", k20110101, k20110101 + 31 * 86400, 0, 0},
      {"P2D", ZB_NAT, ZB_NAT, 0, 0},
  };
  std::vector<std::string> t;
  for (const Row &r : rows) t.push_back(r.text);
  Texts c(t);
  std::vector<zb_interval_parts> out(t.size());
  std::vector<uint32_t> codes(t.size());
  ASSERT_EQ(zb_read_intervals(h, reader("$IS860VL"), &c.col, ZB_UNIT_S, out.data(),
                              codes.data()),
            ZB_OK)
      << zb_last_error();
  for (size_t i = 0; i < t.size(); ++i) {
    SCOPED_TRACE(rows[i].text);
    EXPECT_EQ(codes[i], rows[i].code);
    EXPECT_EQ(out[i].start, rows[i].start);
    EXPECT_EQ(out[i].end, rows[i].end);
    EXPECT_EQ(out[i].duration.months, rows[i].months);
  }
  EXPECT_EQ(out[4].duration.days, 2);
}

TEST(EntityParts, FromPackedTexts) {
  zb_entity_parts p;
  ASSERT_EQ(zb_entity_parts_of("20119091230457D1", 16, &p), ZB_OK);
  EXPECT_EQ(p.form, ZB_FORM_DATETIME);
  EXPECT_EQ(p.years, 2011);
  EXPECT_EQ(p.seconds, 45);
  EXPECT_EQ(p.thousandths, 500);
  EXPECT_EQ(p.fraction_of, ZB_PART_SECONDS);
  ASSERT_EQ(zb_entity_parts_of("FEFFFFF02FFFFFFC", 16, &p), ZB_OK);  // -PT2H
  EXPECT_EQ(p.sign, -1);
  EXPECT_EQ(p.hours, 2);
  EXPECT_EQ(p.given, ZB_PART_HOURS);
  EXPECT_EQ(zb_entity_parts_of("2011", 4, &p), ZB_E_RANGE);
  EXPECT_EQ(zb_entity_parts_of("X0119091230457D1", 16, &p), ZB_E_RANGE);
  zb_interval_parts v;
  uint32_t code = 9;
  ASSERT_EQ(zb_interval_parts_of("2011FFFFFFFFFFFD2012FFFFFFFFFFFD", 32, ZB_UNIT_S, &v, &code),
            ZB_OK);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(v.start, 1293840000);
  EXPECT_EQ(v.end, 1325376000);
  // Half a year has no exact length.
  ASSERT_EQ(zb_interval_parts_of("2011FFFFFFFFF7D12012FFFFFFFFFFFD", 32, ZB_UNIT_S, &v, &code),
            ZB_OK);
  EXPECT_EQ(code, ZB_CODE_INSTANT);
  EXPECT_EQ(v.start, ZB_NAT);
}

TEST(Split, FieldsAtTheSeparator) {
  struct Row {
    std::string data;
    size_t n;
    int rc;
    std::vector<int64_t> starts;
    std::vector<int32_t> lengths;
  } rows[] = {
      {std::string("ab\0\0cde", 7), 3, ZB_OK, {0, 3, 4}, {2, 0, 3}},
      {"", 1, ZB_OK, {0}, {0}},
      {std::string("a\0", 2), 2, ZB_OK, {0, 2}, {1, 0}},
      {std::string("a\0b", 3), 1, ZB_E_RANGE, {}, {}},  // more fields than said
      {"ab", 2, ZB_E_RANGE, {}, {}},                     // fewer
      {"", 0, ZB_OK, {}, {}},
  };
  for (const Row &r : rows) {
    std::vector<int64_t> starts(r.n + 1, -1);
    std::vector<int32_t> lengths(r.n + 1, -1);
    ASSERT_EQ(zb_split(r.data.data(), r.data.size(), '\0', r.n, starts.data(), lengths.data()),
              r.rc)
        << r.n;
    if (r.rc) continue;
    starts.resize(r.n);
    lengths.resize(r.n);
    EXPECT_EQ(starts, r.starts);
    EXPECT_EQ(lengths, r.lengths);
  }
}

// The records as another language lays them out from bytes.
TEST(EntityParts, LayoutFromRawBytes) {
  unsigned char raw[sizeof(zb_interval_parts)] = {};
  const int64_t start = 0x0102030405060708, years = 2011, thousandths = 999;
  const int32_t form = ZB_FORM_DURATION, weeks = 1;
  const uint32_t fraction_of = ZB_PART_SECONDS;
  std::memcpy(raw + 0, &start, 8);
  std::memcpy(raw + 16 + 0, &form, 4);
  std::memcpy(raw + 16 + 12, &fraction_of, 4);
  std::memcpy(raw + 16 + 16, &years, 8);
  std::memcpy(raw + 16 + 64, &thousandths, 8);
  std::memcpy(raw + 16 + 72, &weeks, 4);
  zb_interval_parts v;
  std::memcpy(&v, raw, sizeof v);
  EXPECT_EQ(v.start, start);
  EXPECT_EQ(v.duration.form, form);
  EXPECT_EQ(v.duration.fraction_of, fraction_of);
  EXPECT_EQ(v.duration.years, years);
  EXPECT_EQ(v.duration.thousandths, thousandths);
  EXPECT_EQ(v.duration.weeks, weeks);
}

}  // namespace
