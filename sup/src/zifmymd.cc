// zifmymd: a year-month-day date into a host date.
#include "zifmloc.h"

namespace {
constexpr int32_t kWidthMin = 6;
constexpr int32_t kWindowMin = 5;
constexpr double kTwoDigitYears = 100;
constexpr int32_t kFullYearDigits = 4;
}  // namespace

// zifmymd(blk): a date year first, separated (2011-09-09, 11/9/9) or compact
// (20110909, 110909), as zifmgmd splits it under the task's locale; the
// host's zmdy judges the calendar (a year of four digits below 100, such as
// 0011, is no calendar date). Stores the host date, or leaves the
// missing value that the host's missing-notation check stored. Returns 0,
// a bounds code (only when bit 0 of the flags asks), 0x8001d827 for a window
// under 5 bytes, or 0x8001d814 (no such form: target untouched; no calendar
// date: target missing).
ZB_API uint32_t zifmymd(ifmblock *blk) {
  task_context *task = zifm::task_of(blk);
  if (const uint32_t rc = zifm::check_bounds(blk, kWidthMin); rc != 0) return rc;
  const int32_t window = zb_window(blk);
  if (wzifmch(blk->input, window, static_cast<double *>(blk->target)) == 1) return 0;
  if (window < kWindowMin) return ZIFM_SHORT;
  double year = 0, month = 0, day = 0;
  int32_t year_digits = 0;
  if (zifm::split_date(task, blk->input, -window, &year, &month, &day, &year_digits) != 0)
    return IFM_BAD_DATE;
  // The host reads a year below 100 as two digits of its century window; a
  // year written with four digits or more (0011) is that year itself, before
  // any calendar date the host keeps.
  double date = zmdy(month, day, year);
  if (year_digits >= kFullYearDigits && year < kTwoDigitYears) date = ifm_missing();
  zb_store(blk->target, date);
  return ifm_is_missing(date) ? IFM_BAD_DATE : 0;
}
