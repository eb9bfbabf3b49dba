// zifmgmd: the three numeric components of a date text, under the digit,
// run-terminator and separator sets of the task's locale.
#include "zifmloc.h"

namespace {

struct Run {
  const char *p;
  int32_t len;
};

// Converts the three runs in order, up to the first that fails, and stores
// them only when all three convert.
int32_t store_runs(const Run (&runs)[3], double *first, double *second, double *third,
                   int32_t *first_len) {
  int64_t v[3];
  if (!zifm::convert(runs[0].p, runs[0].len, &v[0]) ||
      !zifm::convert(runs[1].p, runs[1].len, &v[1]) ||
      !zifm::convert(runs[2].p, runs[2].len, &v[2]))
    return 1;
  *first = static_cast<double>(v[0]);
  *second = static_cast<double>(v[1]);
  *third = static_cast<double>(v[2]);
  *first_len = runs[0].len;
  return 0;
}

// Splits an all-digit text: year first (year, then mm, dd: at least five
// digits), or month first after leading zeros (m or mm, dd, then the year).
int32_t compact(const char *p, int32_t n, bool year_first, double *first, double *second,
                double *third, int32_t *first_len) {
  if (year_first) {
    if (n < 5) return 1;
    const Run runs[3] = {{p, n - 4}, {p + n - 4, 2}, {p + n - 2, 2}};
    return store_runs(runs, first, second, third, first_len);
  }
  while (n > 0 && *p == '0') {
    ++p;
    --n;
  }
  if (n < 5) return 1;
  const int32_t month = (n == 5 || n == 7) ? 1 : 2;
  const Run runs[3] = {{p, month}, {p + month, 2}, {p + month + 2, n - month - 2}};
  return store_runs(runs, first, second, third, first_len);
}

// The common text, yyyy-mm-dd under the locale: the tests of the general
// split below for a ten-character text with no blank at either end, made
// without the searches. True when the three runs are 4, 2 and 2 characters.
bool ten_character_date(const locale_tables *lt, const char *text) {
  const auto *u = reinterpret_cast<const unsigned char *>(text);
  auto in = [](const uint8_t *set, unsigned char c) -> unsigned { return set[c] != 0; };
  if (u[0] == ' ' || u[9] == ' ' || u[4] != u[7] || !in(lt->separator, u[4])) return false;
  // Digits at the run starts and at the end; no run terminator inside a run
  // (0-3, 5-6, 8-9); the separator ends the first run. Written out: one
  // branch for all of it.
  const uint8_t *digit = lt->digit, *end = lt->run_end;
  const unsigned digits = in(digit, u[0]) & in(digit, u[5]) & in(digit, u[8]) & in(digit, u[9]);
  const unsigned inside = end[u[0]] | end[u[1]] | end[u[2]] | end[u[3]] | end[u[5]] | end[u[6]] |
                          end[u[8]] | end[u[9]];
  return (in(end, u[4]) & digits & unsigned{inside == 0}) != 0;
}

}  // namespace

namespace zifm {

int32_t split_date(task_context *task, const char *text, int32_t len, double *first,
                   double *second, double *third, int32_t *first_len) {
  const locale_tables *lt = zifm::tables_of(task);
  if (lt == nullptr) return 1;
  int32_t n = len >= 0 ? len : (len == INT32_MIN ? INT32_MAX : -len);
  if (n == 0) return 1;
  if (n == 10 && ten_character_date(lt, text)) {
    const Run runs[3] = {{text, 4}, {text + 5, 2}, {text + 8, 2}};
    return store_runs(runs, first, second, third, first_len);
  }
  n = zb_strip(text, n);
  if (n == 0 || !lt->digit[static_cast<unsigned char>(text[n - 1])]) return 1;

  zifm::Cursor c{text, n};
  if (!c.skip_blanks() || !lt->digit[c.at(0)]) return 1;
  const Run r1{c.p, zifm::run_length(lt, c.p, c.left)};
  if (r1.len == c.left) return compact(c.p, c.left, len < 0, first, second, third, first_len);

  c.skip(r1.len);
  const unsigned char sep = c.at(0);
  if (!lt->separator[sep]) return 1;
  c.skip(1);
  if (c.left < 1 || !lt->digit[c.at(0)]) return 1;
  const Run r2{c.p, zifm::run_length(lt, c.p, c.left)};
  c.skip(r2.len);
  if (c.left < 1 || c.at(0) != sep) return 1;
  c.skip(1);
  if (c.left < 1 || !lt->digit[c.at(0)]) return 1;
  const Run r3{c.p, zifm::run_length(lt, c.p, c.left)};
  const Run runs[3] = {r1, r2, r3};
  return store_runs(runs, first, second, third, first_len);
}

}  // namespace zifm

// zifmgmd(task, text, len, &first, &second, &third): |len| bytes holding
// either three digit runs joined by one separator of the locale used twice
// (2011-09-09, 2011/9/9; anything after the third run is ignored) or one
// run of digits, year first when len < 0 (yyyymmdd, yymmdd) and month first
// otherwise (mmddyyyy, mddyy). Blanks around it are skipped. Stores the
// components in the order they stand; returns 0, or 1 when the text has
// neither form (nothing is stored then).
ZB_API int32_t zifmgmd(task_context *task, const char *text, int32_t len, double *first,
                       double *second, double *third) {
  int32_t first_len = 0;
  return zifm::split_date(task, text, len, first, second, third, &first_len);
}
