// zifmymd: a year-month-day date into a host date.
#include "zifmloc.h"

namespace {
constexpr int32_t kWidthMin = 6;
constexpr int32_t kWindowMin = 5;
}  // namespace

// zifmymd(blk): a date year first, separated (2011-09-09, 11/9/9) or compact
// (20110909, 110909), as zifmgmd splits it under the task's locale; the
// host's zmdy judges the calendar. Stores the host date, or leaves the
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
  if (zifmgmd(task, blk->input, -window, &year, &month, &day) != 0) return IFM_BAD_DATE;
  const double date = zmdy(month, day, year);
  zb_store(blk->target, date);
  return ifm_is_missing(date) ? IFM_BAD_DATE : 0;
}
