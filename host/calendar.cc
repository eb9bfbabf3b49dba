// The host's calendar (vector 155): proleptic Gregorian dates counted in days
// from 1960-01-01, times in seconds from midnight, datetimes in seconds from
// 1960-01-01T00:00:00. Integer arithmetic only for the calendar itself; no
// loops over years, no C library time calls, no locale.
//
// Every function is lock-free and allocation-free: readers call them on
// every field from many threads.
#include <cmath>
#include <cstdint>

#include "host.h"
#include "host_impl.h"

namespace zbhost {
namespace cal {

static_assert(sizeof(int64_t) == 8, "day arithmetic needs 64-bit integers");

// Days from 0000-03-01 to 1960-01-01: the day numbers below count from a
// March-based epoch, so that the leap day ends each 400-year era.
constexpr int64_t kEpochShift = 715815;

bool is_leap(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

unsigned last_day(int64_t y, unsigned m) {
  static constexpr unsigned char kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && is_leap(y) ? 29u : kDays[m - 1];
}

namespace {
// Valid for |y| below 2^50 (era * 146097 stays far inside 64 bits).
constexpr int64_t days_from_civil_c(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;                                                  // years begin in March
  const int64_t era = (y >= 0 ? y : y - 399) / 400;             // floored
  const int64_t yoe = y - era * 400;                            // [0, 399]
  const int64_t mp = m > 2 ? m - 3 : m + 9;                     // [0, 11], March = 0
  const int64_t doy = (153 * mp + 2) / 5 + d - 1;               // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;    // [0, 146096]
  return era * 146097 + doe - kEpochShift;
}
}  // namespace

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) { return days_from_civil_c(y, m, d); }

namespace {
// Days from the 1st of March to the 1st of each month (index 1..12), in a
// year that begins in March.
constexpr int16_t kMarchDays[13] = {0, 306, 337, 0, 31, 61, 92, 122, 153, 184, 214, 245, 275};

// days_from_civil_c for a year of 1 or more: the same sum with the 400-year
// eras folded in, fewer steps on the way of every date field.
constexpr int64_t days_from_civil_positive_c(int64_t y, unsigned m, unsigned d) {
  const auto yy = static_cast<uint64_t>(y - (m <= 2));
  return static_cast<int64_t>(365 * yy + yy / 4 - yy / 100 + yy / 400) + kMarchDays[m] + d - 1 -
         kEpochShift;
}
static_assert(days_from_civil_positive_c(1960, 1, 1) == 0);
static_assert(days_from_civil_positive_c(1582, 10, 15) == days_from_civil_c(1582, 10, 15));
static_assert(days_from_civil_positive_c(2000, 2, 29) == days_from_civil_c(2000, 2, 29));
static_assert(days_from_civil_positive_c(20000, 12, 31) == days_from_civil_c(20000, 12, 31));
}  // namespace

int64_t days_from_civil_positive(int64_t y, unsigned m, unsigned d) {
  return days_from_civil_positive_c(y, m, d);
}

// Valid for |days| below 2^60.
Civil civil_from_days(int64_t days) {
  const int64_t z = days + kEpochShift;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;                // floored
  const int64_t doe = z - era * 146097;                                  // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);           // [0, 365]
  const int64_t mp = (5 * doy + 2) / 153;                                // [0, 11]
  const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);    // [1, 31]
  const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);       // [1, 12]
  return Civil{yoe + era * 400 + (m <= 2), m, d};
}

bool valid_date(int64_t y, int64_t m, int64_t d) {
  if (y < kMinYear || y > kMaxYear || m < 1 || m > 12 || d < 1) return false;
  return d <= last_day(y, static_cast<unsigned>(m));
}

constexpr int64_t kMinDay = days_from_civil_c(kMinYear, 1, 1);
constexpr int64_t kMaxDay = days_from_civil_c(kMaxYear, 12, 31);
static_assert(days_from_civil_c(1960, 1, 1) == 0);
static_assert(days_from_civil_c(1970, 1, 1) == 3653);

int64_t min_day() { return kMinDay; }
int64_t max_day() { return kMaxDay; }

}  // namespace cal

namespace {

using cal::kMaxDay;
using cal::kMinDay;

constexpr double kDay = 86400;

// A usable number: neither the missing value nor NaN or infinite.
bool usable(double x) { return !ifm_is_missing(x) && std::isfinite(x); }

bool whole(double x) { return usable(x) && std::floor(x) == x; }

// The day of a date (floored), when it lies in the host's range.
bool day_of(double date, int64_t &day) {
  if (!usable(date)) return false;
  double f = std::floor(date);
  if (f < static_cast<double>(kMinDay) || f > static_cast<double>(kMaxDay)) return false;
  day = static_cast<int64_t>(f);
  return true;
}

// A time or datetime split by floored division into its day and its
// seconds since midnight, 0 <= secs < 86400.
bool split(double t, int64_t &day, double &secs) {
  if (!usable(t)) return false;
  double d = std::floor(t / kDay);
  if (d < static_cast<double>(kMinDay) - 1 || d > static_cast<double>(kMaxDay) + 1) return false;
  double r = t - d * kDay;
  if (r < 0) {  // t / 86400 rounded up to a whole day
    d -= 1;
    r += kDay;
  }
  if (r >= kDay) r = std::nextafter(kDay, 0.0);
  if (d < static_cast<double>(kMinDay) || d > static_cast<double>(kMaxDay)) return false;
  day = static_cast<int64_t>(d);
  secs = r;
  return true;
}

// The year a two-digit year stands for: the first one at or after the
// cutoff with those last two digits.
int64_t window_year(int64_t y) {
  Impl *m = active_impl();
  int64_t cutoff = m ? m->year_cutoff.load(std::memory_order_relaxed) : 1926;
  int64_t base = cutoff - ((cutoff % 100) + 100) % 100;
  int64_t year = base + y;
  return year < cutoff ? year + 100 : year;
}

// A whole number in lo..hi, as an integer. Missing values and NaN fail the
// range test.
bool whole_in(double x, int64_t lo, int64_t hi, int64_t &out) {
  if (!(x >= static_cast<double>(lo) && x <= static_cast<double>(hi))) return false;
  out = static_cast<int64_t>(x);
  return static_cast<double>(out) == x;
}

// zmdy(month, day, year): the host date, or missing when a component is
// missing or fractional or the three make no date in 1582..20000. Years
// 0..99 are read through the window starting at the host's year cutoff.
double svc_zmdy(double month, double day, double year) {
  int64_t m, d, y;
  if (!whole_in(month, 1, 12, m) || !whole_in(day, 1, 31, d) ||
      !whole_in(year, 0, cal::kMaxYear, y))
    return ifm_missing();
  if (y < 100) y = window_year(y);
  if (y < cal::kMinYear || y > cal::kMaxYear) return ifm_missing();
  // Month and day are in range: only days 29 to 31 need the month's length
  // (zmdy runs on every date field; docs/performance.md).
  if (d > 28 && d > cal::last_day(y, static_cast<unsigned>(m))) return ifm_missing();
  return static_cast<double>(
      cal::days_from_civil_positive_c(y, static_cast<unsigned>(m), static_cast<unsigned>(d)));
}

// zhms(hour, minute, second): hour*3600 + minute*60 + second; components of
// any size and sign are taken as they are.
double svc_zhms(double h, double m, double s) {
  if (!usable(h) || !usable(m) || !usable(s)) return ifm_missing();
  return h * 3600 + m * 60 + s;
}

// zdhms(date, hour, minute, second): date*86400 + the time.
double svc_zdhms(double date, double h, double m, double s) {
  int64_t day;
  double t = svc_zhms(h, m, s);
  if (!day_of(date, day) || ifm_is_missing(t)) return ifm_missing();
  return date * kDay + t;
}

double svc_zdatprt(double dt) {
  int64_t day;
  double secs;
  return split(dt, day, secs) ? static_cast<double>(day) : ifm_missing();
}

double svc_ztimprt(double dt) {
  int64_t day;
  double secs;
  return split(dt, day, secs) ? secs : ifm_missing();
}

double svc_zhour(double t) {
  int64_t day;
  double secs;
  if (!split(t, day, secs)) return ifm_missing();
  return static_cast<double>(static_cast<int64_t>(secs) / 3600);  // [0, 23]
}

double svc_zminute(double t) {
  int64_t day;
  double secs;
  if (!split(t, day, secs)) return ifm_missing();
  return static_cast<double>(static_cast<int64_t>(secs) % 3600 / 60);  // [0, 59]
}

double svc_zsecond(double t) {
  int64_t day;
  double secs;
  if (!split(t, day, secs)) return ifm_missing();
  return std::fmod(secs, 60.0);  // [0, 60), exact
}

double svc_zyear(double date) {
  int64_t day;
  return day_of(date, day) ? static_cast<double>(cal::civil_from_days(day).year) : ifm_missing();
}

double svc_zmonth(double date) {
  int64_t day;
  return day_of(date, day) ? static_cast<double>(cal::civil_from_days(day).month) : ifm_missing();
}

double svc_zday(double date) {
  int64_t day;
  return day_of(date, day) ? static_cast<double>(cal::civil_from_days(day).day) : ifm_missing();
}

// zjuldat(date): the Julian form yyyyddd, year * 1000 + day of the year.
double svc_zjuldat(double date) {
  int64_t day;
  if (!day_of(date, day)) return ifm_missing();
  int64_t y = cal::civil_from_days(day).year;
  int64_t doy = day - cal::days_from_civil(y, 1, 1) + 1;  // [1, 366]
  return static_cast<double>(y * 1000 + doy);
}

// zymdjul(&year, &month, &day, julian): takes yyyyddd apart; all three
// missing when it is no whole number or names no day of 1582..20000.
void svc_zymdjul(double *year, double *month, double *day, double julian) {
  double y = ifm_missing(), m = ifm_missing(), d = ifm_missing();
  if (whole(julian) && julian >= cal::kMinYear * 1000.0 && julian <= cal::kMaxYear * 1000.0 + 999) {
    auto j = static_cast<int64_t>(julian);
    int64_t yy = j / 1000, doy = j % 1000;
    if (doy >= 1 && doy <= (cal::is_leap(yy) ? 366 : 365)) {
      cal::Civil c = cal::civil_from_days(cal::days_from_civil(yy, 1, 1) + doy - 1);
      y = static_cast<double>(c.year);
      m = c.month;
      d = c.day;
    }
  }
  if (year) *year = y;
  if (month) *month = m;
  if (day) *day = d;
}

}  // namespace

void install_calendar(Impl &m) {
  put_service(m, SVC_ZDATPRT, entry(svc_zdatprt));
  put_service(m, SVC_ZDAY, entry(svc_zday));
  put_service(m, SVC_ZDHMS, entry(svc_zdhms));
  put_service(m, SVC_ZHMS, entry(svc_zhms));
  put_service(m, SVC_ZHOUR, entry(svc_zhour));
  put_service(m, SVC_ZJULDAT, entry(svc_zjuldat));
  put_service(m, SVC_ZMDY, entry(svc_zmdy));
  put_service(m, SVC_ZMINUTE, entry(svc_zminute));
  put_service(m, SVC_ZMONTH, entry(svc_zmonth));
  put_service(m, SVC_ZSECOND, entry(svc_zsecond));
  put_service(m, SVC_ZTIMPRT, entry(svc_ztimprt));
  put_service(m, SVC_ZYEAR, entry(svc_zyear));
  put_service(m, SVC_ZYMDJUL, entry(svc_zymdjul));
}

}  // namespace zbhost
