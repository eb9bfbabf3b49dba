// What the calendar routines share: the locale tables of a task, a cursor
// over a field, digit runs, integer conversion and the bounds check.
#pragma once

#include <stdint.h>
#include <string.h>

#include "calendar.h"
#include "fstring.h"

namespace zifm {

// Validation bounds of width and decimals (checked only when asked for).
constexpr int32_t kWidthMax = 32;
constexpr int32_t kDecimalsMax = 31;

// The task context of a block, filled in from the GCB when null.
inline task_context *task_of(ifmblock *blk) {
  if (blk->task == nullptr) blk->task = zb_current_task();
  return blk->task;
}

// The first table set along the task's object chain; null when the task has
// none (or there is no task), which the routines treat as unreadable text.
inline const locale_tables *tables_of(const task_context *task) {
  if (task == nullptr) return nullptr;
  for (const task_object *o = task->objects; o != nullptr; o = o->next)
    if (o->tables != nullptr) return o->tables;
  return nullptr;
}

// Width and decimals against their bounds, when bit 0 of the flags asks.
inline uint32_t check_bounds(const ifmblock *blk, int32_t min_width) {
  if ((blk->flags & IFM_FLAG_VALIDATE) == 0) return 0;
  if (blk->width < min_width) return ZIFM_WIDTH_LOW;
  if (blk->width > kWidthMax) return ZIFM_WIDTH_HIGH;
  if (blk->decimals < 0) return ZIFM_DEC_LOW;
  if (blk->decimals > kDecimalsMax) return ZIFM_DEC_HIGH;
  return 0;
}

// The unread rest of a field.
struct Cursor {
  const char *p;
  int32_t left;

  unsigned char at(int32_t i) const { return static_cast<unsigned char>(p[i]); }
  void skip(int32_t n) {
    p += n;
    left -= n;
  }
  // Moves past leading blanks; false when nothing but blanks was left.
  bool skip_blanks() {
    const int32_t k = left > 0 ? zb_find_not(p, left, ' ') : -1;
    if (k < 0) {
      skip(left);
      return false;
    }
    skip(k);
    return true;
  }
};

// Length of the digit run at p: up to the first run terminator, or all of it.
inline int32_t run_length(const locale_tables *lt, const char *p, int32_t left) {
  if (left <= 0) return 0;
  const int32_t k = zb_find_in(p, left, lt->run_end);
  return k < 0 ? left : k;
}

// A run of len characters through the host's integer routine; false unless
// the routine succeeds and takes the whole run.
inline bool convert(const char *p, int32_t len, int64_t *value) {
  int32_t used = 0;
  return wzrlchr(p, len, 0, &used, value) == 0 && used == len;
}

// zifmgmd's split, which also gives the number of characters of the first
// run (the digits a year-first date wrote its year with).
int32_t split_date(task_context *task, const char *text, int32_t len, double *first,
                   double *second, double *third, int32_t *first_len);

}  // namespace zifm
