// zifmtim: a clock time under the task's locale into a host time.
#include "zifmloc.h"

namespace {

constexpr int32_t kWidthMin = 5;
constexpr double kNoon = 43200.0;
constexpr double kOne = 46800.0;  // 13:00

// The seconds text through the host's numeric informat.
bool read_seconds(const ifmblock *caller, const char *p, int32_t len, double *seconds) {
  ifmblock blk;
  memset(&blk, 0, sizeof blk);
  blk.width = len;
  blk.avail = len;
  blk.decimals = 0;
  blk.input = p;
  blk.target = seconds;
  blk.target_len = sizeof *seconds;
  blk.task = caller->task;
  return wzifmn(&blk) == 0;
}

// After the last part: blanks alone, or A/P (any case), then optionally M or
// a blank, then blanks alone. Applies the half of the day to *total.
uint32_t read_suffix(zifm::Cursor c, double *total) {
  if (!c.skip_blanks()) return 0;
  const unsigned char half = zb_upper(c.at(0));
  if (half != 'A' && half != 'P') return ZIFM_BAD_SUFFIX;
  c.skip(1);
  if (c.left > 0) {
    if (zb_upper(c.at(0)) != 'M' && c.at(0) != ' ') return ZIFM_BAD_SUFFIX;
    c.skip(1);
    if (c.skip_blanks()) return ZIFM_BAD_SUFFIX;
  }
  if (half == 'P') {
    if (*total < kNoon) *total += kNoon;
  } else if (*total >= kNoon && *total < kOne) {
    *total -= kNoon;
  }
  return 0;
}

}  // namespace

// zifmtim(blk): [-]h:m[:s[.f]] [A|AM|P|PM], blanks around it, with the
// separator, digit and token sets of the task's locale; hours, minutes and
// seconds of any size. Stores seconds since midnight (negated for a leading
// '-'). Returns 0 (also for missing notation: the host's check stores the
// missing value), a bounds code (only when bit 0 of the flags asks), or
// 0x8001d819..0x8001d821 for what is malformed; the target is then untouched.
ZB_API uint32_t zifmtim(ifmblock *blk) {
  task_context *task = zifm::task_of(blk);
  const locale_tables *lt = zifm::tables_of(task);
  if (const uint32_t rc = zifm::check_bounds(blk, kWidthMin); rc != 0) return rc;
  const int32_t window = zb_window(blk);
  if (wzifmch(blk->input, window, static_cast<double *>(blk->target)) == 1) return 0;
  if (lt == nullptr) return ZIFM_BAD_TIME;

  zifm::Cursor c{blk->input, window};
  if (!c.skip_blanks()) return ZIFM_BAD_TIME;
  const bool negative = c.at(0) == '-';
  if (negative) c.skip(1);

  // Hours, and the separator that must follow them.
  if (c.left < 1 || !lt->digit[c.at(0)]) return ZIFM_BAD_TIME;
  const int32_t hlen = zifm::run_length(lt, c.p, c.left);
  if (hlen == c.left) return ZIFM_BAD_TIME;
  int64_t hours = 0;
  if (!zifm::convert(c.p, hlen, &hours)) return ZIFM_BAD_HOURS;
  c.skip(hlen);
  const unsigned char sep = c.at(0);
  if (!lt->separator[sep]) return ZIFM_BAD_TIME;
  c.skip(1);
  if (c.left < 1) return ZIFM_NO_MINUTES;
  if (!lt->digit[c.at(0)]) return ZIFM_BAD_TIME;

  // Minutes.
  const int32_t mlen = zifm::run_length(lt, c.p, c.left);
  int64_t minutes = 0;
  if (!zifm::convert(c.p, mlen, &minutes)) return ZIFM_BAD_MINUTES;
  c.skip(mlen);

  // Seconds: a digit found by the token search, right behind the hours'
  // separator; a token that is no digit must stand where the search began.
  double seconds = 0.0;
  const char *after_minutes = c.p;
  zifm::Cursor rest = c;
  if (rest.skip_blanks()) {
    const int32_t hit = zb_find_in(rest.p, rest.left, lt->token);
    if (hit < 0) return ZIFM_BAD_TIME;
    const unsigned char tok = rest.at(hit);
    if (lt->digit[tok]) {
      const int64_t gap = rest.p + hit - after_minutes;
      if (gap > 1 || (gap == 1 && static_cast<unsigned char>(*after_minutes) != sep))
        return ZIFM_BAD_TIME;
      rest.skip(hit);
      int32_t slen = zifm::run_length(lt, rest.p, rest.left);
      if (rest.left - slen >= 2 && rest.at(slen) == '.' && lt->digit[rest.at(slen + 1)])
        slen += 1 + zifm::run_length(lt, rest.p + slen + 1, rest.left - slen - 1);
      if (!read_seconds(blk, rest.p, slen, &seconds)) return ZIFM_BAD_MINUTES;
      rest.skip(slen);
      c = rest;
    } else if (hit != 0) {
      return ZIFM_BAD_MINUTES;
    }
  }

  double total = (static_cast<double>(hours) * 60.0 + static_cast<double>(minutes)) * 60.0 +
                 seconds;
  if (const uint32_t rc = read_suffix(c, &total); rc != 0) return rc;
  zb_store(blk->target, negative ? -total : total);
  return 0;
}
