// The host's calendar (vector 155) and the arithmetic under it, against
// std::chrono's civil calendar.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "host.h"

namespace {

using zbhost::Host;
namespace cal = zbhost::cal;
namespace chr = std::chrono;

// 1960-01-01 counted from 1970-01-01.
constexpr int64_t kHostEpoch = -3653;

class CalendarTest : public ::testing::Test {
 protected:
  template <class F>
  F fn(unsigned v, unsigned s) {
    return reinterpret_cast<F>(host.gcb_ptr()->vectors[v][s]);
  }
  void SetUp() override {
    zmdy = fn<svc_d3>(SVC_ZMDY);
    zyear = fn<svc_d1>(SVC_ZYEAR);
    zmonth = fn<svc_d1>(SVC_ZMONTH);
    zday = fn<svc_d1>(SVC_ZDAY);
    zjuldat = fn<svc_d1>(SVC_ZJULDAT);
    zymdjul = fn<svc_zymdjul>(SVC_ZYMDJUL);
    zdatprt = fn<svc_d1>(SVC_ZDATPRT);
    ztimprt = fn<svc_d1>(SVC_ZTIMPRT);
    zhour = fn<svc_d1>(SVC_ZHOUR);
    zminute = fn<svc_d1>(SVC_ZMINUTE);
    zsecond = fn<svc_d1>(SVC_ZSECOND);
    zhms = fn<svc_d3>(SVC_ZHMS);
    zdhms = fn<svc_d4>(SVC_ZDHMS);
  }

  Host host;
  svc_d3 zmdy, zhms;
  svc_d4 zdhms;
  svc_d1 zyear, zmonth, zday, zjuldat, zdatprt, ztimprt, zhour, zminute, zsecond;
  svc_zymdjul zymdjul;
};

const double kM = ifm_missing();

bool same(double got, double want) {
  return ifm_is_missing(want) ? ifm_is_missing(got) : got == want;
}

// Every day from the first Gregorian day to the end of 9999, both ways, by
// the integer arithmetic and through the GCB entries.
TEST_F(CalendarTest, EveryDayAgreesWithChrono) {
  const chr::sys_days first = chr::year{1582} / 10 / 15;
  const chr::sys_days last = chr::year{9999} / 12 / 31;
  int64_t bad = 0;
  for (chr::sys_days sd = first; sd <= last; sd += chr::days{1}) {
    const chr::year_month_day ymd{sd};
    const int64_t y = static_cast<int>(ymd.year());
    const unsigned m = static_cast<unsigned>(ymd.month()), d = static_cast<unsigned>(ymd.day());
    const int64_t day = sd.time_since_epoch().count() - kHostEpoch;
    const cal::Civil c = cal::civil_from_days(day);
    const double hd = static_cast<double>(day);
    double jy = 0, jm = 0, jd = 0;
    zymdjul(&jy, &jm, &jd, zjuldat(hd));
    if (cal::days_from_civil(y, m, d) != day || cal::days_from_civil_positive(y, m, d) != day ||
        c.year != y || c.month != m || c.day != d ||
        zmdy(m, d, static_cast<double>(y)) != hd || zyear(hd) != static_cast<double>(y) ||
        zmonth(hd) != m || zday(hd) != d || jy != static_cast<double>(y) || jm != m || jd != d) {
      if (++bad <= 5) ADD_FAILURE() << "day " << day << " = " << y << "-" << m << "-" << d;
    }
  }
  EXPECT_EQ(bad, 0);
  // The years after, to the host's last: the two ways of counting agree.
  for (int64_t y = 10000; y <= cal::kMaxYear; ++y)
    for (unsigned m = 1; m <= 12; ++m)
      for (unsigned d : {1u, 28u, cal::last_day(y, m)})
        if (cal::days_from_civil_positive(y, m, d) != cal::days_from_civil(y, m, d) && ++bad <= 5)
          ADD_FAILURE() << y << "-" << m << "-" << d;
  EXPECT_EQ(bad, 0);
}

TEST_F(CalendarTest, Zmdy) {
  struct Row {
    double month, day, year, expected;
    const char *why;
  } rows[] = {
      {9, 9, 2011, 18879, "a known day"},
      {1, 1, 1960, 0, "the epoch"},
      {12, 31, 1959, -1, "the day before"},
      {2, 29, 2000, 14669, "leap day of a 400-year"},
      {2, 29, 2012, 19052, "leap day"},
      {2, 29, 2011, kM, "no leap day in 2011"},
      {2, 29, 1900, kM, "no leap day in 1900"},
      {2, 30, 2012, kM, "30 February"},
      {4, 31, 2011, kM, "31 April"},
      {13, 1, 2011, kM, "month 13"},
      {0, 1, 2011, kM, "month 0"},
      {1, 0, 2011, kM, "day 0"},
      {1, 32, 2011, kM, "day 32"},
      {1.5, 1, 2011, kM, "fractional month"},
      {1, 1.5, 2011, kM, "fractional day"},
      {1, 1, 2011.5, kM, "fractional year"},
      {kM, 1, 2011, kM, "missing month"},
      {1, 1, kM, kM, "missing year"},
      {1, 1, std::nan(""), kM, "NaN year"},
      {1, 1, std::numeric_limits<double>::infinity(), kM, "infinite year"},
      {1, 1, -1, kM, "negative year"},
      {1, 1, 1582, -138061, "first year of the range"},
      {12, 31, 1581, kM, "before the range"},
      {1, 1, 100, kM, "year 100 is not windowed and out of range"},
      {12, 31, 20000, 6589340, "last day of the range"},
      {1, 1, 20001, kM, "after the range"},
      {1, 1, 1e300, kM, "huge year"},
      // Two-digit years: the window 1926..2025.
      {1, 1, 26, -12418, "26 is 1926"},
      {12, 31, 25, 24106, "25 is 2025"},
      {1, 1, 0, 14610, "0 is 2000"},
      {1, 1, 99, 14245, "99 is 1999"},
      {9, 9, 11, 18879, "11 is 2011"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    EXPECT_PRED2(same, zmdy(r.month, r.day, r.year), r.expected);
  }
}

TEST_F(CalendarTest, YearWindowFollowsTheCutoff) {
  struct Row {
    int cutoff;
    double year, expected_year;
  } rows[] = {
      {1950, 49, 2049}, {1950, 50, 1950}, {1950, 0, 2000}, {1900, 0, 1900},
      {1900, 99, 1999}, {2000, 99, 2099}, {1601, 0, 1700}, {1601, 1, 1601},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << r.cutoff << " " << r.year);
    host.set_year_cutoff(r.cutoff);
    EXPECT_EQ(host.year_cutoff(), r.cutoff);
    EXPECT_EQ(zyear(zmdy(1, 1, r.year)), r.expected_year);
  }
}

TEST_F(CalendarTest, TimesAndDatetimesComeApart) {
  struct Row {
    double t;
    double date, time, hour, minute, second;
    const char *why;
  } rows[] = {
      {0, 0, 0, 0, 0, 0, "midnight of the epoch"},
      {-1800, -1, 84600, 23, 30, 0, "half an hour before: floored"},
      {-0.25, -1, 86399.75, 23, 59, 59.75, "a fraction before"},
      {86399.5, 0, 86399.5, 23, 59, 59.5, "last half second of a day"},
      {86400, 1, 0, 0, 0, 0, "next midnight"},
      {18879 * 86400.0 + 45045.25, 18879, 45045.25, 12, 30, 45.25, "2011-09-09T12:30:45.25"},
      {-86400 * 10.0 + 3661, -10, 3661, 1, 1, 1, "before the epoch"},
      {kM, kM, kM, kM, kM, kM, "missing"},
      {std::nan(""), kM, kM, kM, kM, kM, "NaN"},
      {6589341 * 86400.0, kM, kM, kM, kM, kM, "day after the range"},
      {-138062 * 86400.0 + 5, kM, kM, kM, kM, kM, "day before the range"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.why);
    EXPECT_PRED2(same, zdatprt(r.t), r.date);
    EXPECT_PRED2(same, ztimprt(r.t), r.time);
    EXPECT_PRED2(same, zhour(r.t), r.hour);
    EXPECT_PRED2(same, zminute(r.t), r.minute);
    EXPECT_PRED2(same, zsecond(r.t), r.second);
  }
}

TEST_F(CalendarTest, TimeOfDayStaysBelowOneDay) {
  // Values just below a midnight, where t / 86400 rounds up to a whole day.
  for (double t : {std::nextafter(86400.0, 0.0), std::nextafter(0.0, -1.0),
                   std::nextafter(18880 * 86400.0, 0.0), -1e-300}) {
    SCOPED_TRACE(t);
    double time = ztimprt(t);
    EXPECT_GE(time, 0);
    EXPECT_LT(time, 86400);
    EXPECT_LE(zhour(t), 23);
    EXPECT_LT(zsecond(t), 60);
  }
}

TEST_F(CalendarTest, ZhmsAndZdhmsJoinWhatIsTakenApart) {
  EXPECT_EQ(zhms(12, 30, 45.5), 45045.5);
  EXPECT_EQ(zhms(12, 75, 0), 47700) << "components are not range-checked";
  EXPECT_EQ(zhms(-1, 30, 0), -1800);
  EXPECT_TRUE(ifm_is_missing(zhms(1, kM, 0)));
  double dt = zdhms(18879, 12, 30, 45.25);
  EXPECT_EQ(dt, 18879 * 86400.0 + 45045.25);
  EXPECT_EQ(zdatprt(dt), 18879);
  EXPECT_EQ(ztimprt(dt), 45045.25);
  EXPECT_TRUE(ifm_is_missing(zdhms(kM, 1, 2, 3)));
  EXPECT_TRUE(ifm_is_missing(zdhms(18879, kM, 2, 3)));
  EXPECT_TRUE(ifm_is_missing(zdhms(6589341, 0, 0, 0))) << "date out of range";
}

TEST_F(CalendarTest, JulianForm) {
  struct Row {
    double date, julian;
    double year, month, day;
  } rows[] = {
      {18879, 2011252, 2011, 9, 9},
      {0, 1960001, 1960, 1, 1},
      {-1, 1959365, 1959, 12, 31},
      {19358, 2012366, 2012, 12, 31},
      {-138061, 1582001, 1582, 1, 1},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.julian);
    EXPECT_EQ(zjuldat(r.date), r.julian);
    double y = 0, m = 0, d = 0;
    zymdjul(&y, &m, &d, r.julian);
    EXPECT_EQ(y, r.year);
    EXPECT_EQ(m, r.month);
    EXPECT_EQ(d, r.day);
  }
  for (double bad : {2011366.0, 2011000.0, 2011252.5, 1581365.0, 20001001.0, kM}) {
    SCOPED_TRACE(bad);
    double y = 0, m = 0, d = 0;
    zymdjul(&y, &m, &d, bad);
    EXPECT_TRUE(ifm_is_missing(y) && ifm_is_missing(m) && ifm_is_missing(d));
  }
  EXPECT_TRUE(ifm_is_missing(zjuldat(kM)));
}

TEST_F(CalendarTest, ComponentsOfDatesOutsideTheRangeAreMissing) {
  const double before = static_cast<double>(cal::min_day() - 1);
  const double after = static_cast<double>(cal::max_day() + 1);
  for (double d : {before, after, kM, std::nan("")}) {
    SCOPED_TRACE(d);
    EXPECT_TRUE(ifm_is_missing(zyear(d)));
    EXPECT_TRUE(ifm_is_missing(zmonth(d)));
    EXPECT_TRUE(ifm_is_missing(zday(d)));
    EXPECT_TRUE(ifm_is_missing(zjuldat(d)));
  }
  EXPECT_EQ(zyear(static_cast<double>(cal::max_day())), 20000);
  EXPECT_EQ(zday(18879.75), 9) << "a fractional date counts as its day";
}

TEST(CalendarArithmetic, RangeAndLeapYears) {
  EXPECT_EQ(cal::min_day(), cal::days_from_civil(1582, 1, 1));
  EXPECT_EQ(cal::max_day(), cal::days_from_civil(20000, 12, 31));
  EXPECT_TRUE(cal::valid_date(2000, 2, 29));
  EXPECT_FALSE(cal::valid_date(2100, 2, 29));
  EXPECT_FALSE(cal::valid_date(1581, 12, 31));
  EXPECT_FALSE(cal::valid_date(20001, 1, 1));
  EXPECT_EQ(cal::last_day(2011, 2), 28u);
  EXPECT_EQ(cal::last_day(2011, 13), 0u);
  // Far outside the host range the arithmetic still inverts.
  for (int64_t day : {int64_t{-1000000000}, int64_t{-719163}, int64_t{1000000000}}) {
    cal::Civil c = cal::civil_from_days(day);
    EXPECT_EQ(cal::days_from_civil(c.year, c.month, c.day), day) << day;
  }
}

}  // namespace
