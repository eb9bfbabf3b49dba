// Basic-notation informats. Each reader rewrites its field (yyyymmddThhmmss,
// hhmmss+hhmm, ...) into extended notation in a work buffer on its own stack
// and hands that text to the extended reader of the same kind, which does all
// checking of digits, ranges, calendar and zone. Fields that are already in
// extended notation go to the extended reader as they stand.
//
// The work buffers have a fixed size while the field width is the host's: a
// field whose rewritten text would not fit is rejected as invalid data.
#include <string.h>

#include "basic.h"
#include "extended.h"
#include "fstring.h"

namespace {

constexpr int32_t kWorkSize = 200;    // extended text handed on
constexpr int32_t kExpandSize = 100;  // b8601ci: field with the century expanded
constexpr int32_t kTimeAt = 11;       // yyyy-mm-ddT, then the time text
constexpr int32_t kDateLen = 10;      // yyyy-mm-dd
constexpr uint32_t kMissingStatus = 8;

// A bounded output cursor into a work buffer.
struct Out {
  char *p;
  int32_t len;
  int32_t room;
};

bool put(Out *o, char c) {
  if (o->len >= o->room) return false;
  o->p[o->len++] = c;
  return true;
}

bool put_text(Out *o, const char *s, int32_t n) {
  if (n > o->room - o->len) return false;
  memcpy(o->p + o->len, s, static_cast<size_t>(n));
  o->len += n;
  return true;
}

// Start offset and length of the field without its leading and trailing
// blanks. Measuring mode leaves the field as it is.
void trim(const char *field, int32_t len, int32_t *off, int32_t *n) {
  *off = 0;
  *n = 0;
  wzstjls(const_cast<char *>(field), len, 'n', n, off);
}

bool holds(const char *text, int32_t n, char c) { return wzstpos(text, n, c) >= 0; }

// The first steps of every reader. Missing-value notation (the host's check
// stores the missing value itself) sets the status word to 8 and gives false;
// otherwise the trimmed text of the field is returned through text and n.
bool take_field(ifmblock *blk, const char **text, int32_t *n) {
  if (wzifmch(blk->input, zb_window(blk), static_cast<double *>(blk->target)) != 0) {
    blk->status = kMissingStatus;
    return false;
  }
  int32_t off;
  trim(blk->input, zb_window(blk), &off, n);
  *text = blk->input + off;
  return true;
}

// A call block around a rewritten text; the result lands in the caller's target.
ifmblock inner_block(const char *text, int32_t len, void *target) {
  ifmblock b;
  memset(&b, 0, sizeof b);
  b.input = text;
  b.width = len;
  b.avail = len;
  b.target = target;
  return b;
}

// Rewrites a trimmed basic time (hh, hhmm, hhmmss, then fraction digits and,
// when zone_ok, a closing Z or +hhmm / -hhmm) into hh:mm:ss[.f][zone]. An
// empty text is midnight. The characters are copied, not checked: that is the
// extended reader's job. Returns false on rejection (bad length, bad tail,
// or no room in the buffer).
bool rewrite_time(const char *t, int32_t n, Out *o, bool zone_ok) {
  if (n == 1 || n == 3 || n == 5) return false;
  if (n == 0) return put_text(o, "00:00:00", 8);
  // hh, then :mm and :ss from the text, or :00 where the text is shorter.
  if (!put_text(o, t, 2)) return false;
  for (int32_t i = 2; i < 6; i += 2) {
    const char *pair = i < n ? t + i : "00";
    if (!put(o, ':') || !put_text(o, pair, 2)) return false;
  }

  // The tail: fraction digits, then (zone_ok) a closing zone designator.
  bool fraction = false;
  for (int32_t i = 6; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (zb_isdigit(c)) {
      if (!fraction && !put(o, '.')) return false;
      fraction = true;
      if (!put(o, t[i])) return false;
      continue;
    }
    unsigned char u = zb_upper(c);
    if (!zone_ok || (u != 'Z' && u != '+' && u != '-')) return false;
    int32_t rest = n - i - 1;
    if (u == 'Z') return rest == 0 && put(o, t[i]);
    if (rest != 4) return false;
    return put(o, t[i]) && put_text(o, t + i + 1, 2) && put(o, ':') && put_text(o, t + i + 3, 2);
  }
  return true;
}

// Rewrites the date part of a trimmed text (everything before its first
// upper-case 'T') into yyyy-mm-dd at out. Accepted shapes: yyyy, yyyymm,
// yyyy-mm, yyyy-mm-dd, and eight or more characters without '-' (only the
// first eight are used). Returns the number of characters consumed (4, 6, 7,
// 10 or 8), or -1 when the shape is rejected.
int32_t rewrite_date(const char *text, int32_t n, char *out) {
  int32_t t = wzstpos(text, n, 'T');
  int32_t m = t >= 0 ? t : n;
  int32_t dash = wzstpos(text, m, '-');
  if (dash >= 0) {
    if (dash != 4) return -1;
    int32_t second = wzstpos(text + 5, m - 5, '-');
    bool ok = (m == 7 && second < 0) || (m == 10 && second == 2);
    if (!ok) return -1;
  } else if (m < 4 || m == 5 || m == 7) {
    return -1;
  }

  // The shapes above guarantee every two-character copy stays in the part.
  memcpy(out, text, 4);
  out[4] = '-';
  int32_t at = 4;
  if (at == m) {
    memcpy(out + 5, "01-01", 5);
    return at;
  }
  if (text[at] == '-') ++at;
  memcpy(out + 5, text + at, 2);
  out[7] = '-';
  at += 2;
  if (at == m) {
    memcpy(out + 8, "01", 2);
    return at;
  }
  if (text[at] == '-') ++at;
  memcpy(out + 8, text + at, 2);
  return at + 2;
}

// Describes the time part of a datetime in *result, with its extended text
// placed at buffer (at most room characters). A time part that already holds
// a ':' is copied as it stands; otherwise it is rewritten as a basic time,
// zones allowed when zone_allowed is 1. Returns result, or null on rejection.
ifmblock *make_iso_time(const ifmblock *time_block, ifmblock *result, char *buffer, int32_t room,
                        int32_t zone_allowed) {
  int32_t off, k;
  trim(time_block->input, zb_window(time_block), &off, &k);
  const char *t = time_block->input + off;
  Out o = {buffer, 0, room};
  if (k > 0 && holds(t, k, ':')) {
    if (!put_text(&o, t, k)) return nullptr;
  } else if (!rewrite_time(t, k, &o, zone_allowed == 1)) {
    return nullptr;
  }
  *result = inner_block(buffer, o.len, nullptr);
  return result;
}

// The common body of b8601tm and b8601tz.
uint32_t read_basic_time(ifmblock *blk, bool zone, ifm_reader extended) {
  const char *text;
  int32_t n;
  if (!take_field(blk, &text, &n)) return 0;
  if (n > 0 && holds(text, n, ':')) return extended(blk);

  char work[kWorkSize];
  Out o = {work, 0, kWorkSize};
  if (!rewrite_time(text, n, &o, zone)) return IFM_INVALID_DATA;
  ifmblock inner = inner_block(work, o.len, blk->target);
  uint32_t rc = extended(&inner);
  blk->status = inner.status;
  return rc;
}

enum class Separator { kRequired, kOptional };

// The common body of the datetime readers (steps after any century expansion).
uint32_t read_basic_datetime(ifmblock *blk, Separator sep, bool zone, ifm_reader extended) {
  const char *text;
  int32_t n;
  if (!take_field(blk, &text, &n)) return 0;

  // Extended notation throughout: a '-' in the date (before the 'T', or far
  // enough in when there is none) and a ':'.
  int32_t d = wzstpos(text, n, '-');
  int32_t t = wzstpos(text, n, 'T');
  if (d >= 0 && (t >= 0 ? d < t : d >= 6) && holds(text, n, ':')) return extended(blk);

  char work[kWorkSize];
  int32_t at = rewrite_date(text, n, work);
  if (at < 0) return IFM_INVALID_DATA;
  if (at < n) {
    bool is_t = zb_upper(static_cast<unsigned char>(text[at])) == 'T';
    if (is_t) {
      ++at;
    } else if (sep == Separator::kRequired) {
      return IFM_INVALID_DATA;
    }
  }
  work[kDateLen] = 'T';

  ifmblock time_block = inner_block(text + at, n - at, nullptr);
  ifmblock time_result;
  if (!make_iso_time(&time_block, &time_result, work + kTimeAt, kWorkSize - kTimeAt, zone ? 1 : 0))
    return IFM_INVALID_DATA;
  ifmblock inner = inner_block(work, kTimeAt + time_result.width, blk->target);
  return extended(&inner);
}

}  // namespace

// b8601tm: hh, hhmm, hhmmss, each optionally followed by fraction digits
// (1230455 is 12:30:45.5); a field holding a ':' is read as extended
// notation. Stores the host time (seconds since midnight). Returns 0,
// 0x8001d819 for a basic text of a bad length or with a non-digit behind the
// seconds, or what i8601tm returns.
ZB_API uint32_t b8601tm(ifmblock *blk) { return read_basic_time(blk, false, i8601tm); }

// b8601tz: as b8601tm, closed by Z or a sign and four digits (+0100). Stores
// the host time at GMT. Returns 0, 0x8001d819 for a bad basic text or zone,
// or what i8601tz returns.
ZB_API uint32_t b8601tz(ifmblock *blk) { return read_basic_time(blk, true, i8601tz); }

// b8601da: yyyymmdd, yyyymm, yyyy, yyyy-mm-dd or yyyy-mm; whatever follows an
// upper-case 'T' is ignored, as is anything after the eighth character of a
// date without '-'. Missing month and day are 01. Stores the host date.
// Returns 0, 0x8001d819 for a date part of a bad shape, or what i8601da returns.
ZB_API uint32_t b8601da(ifmblock *blk) {
  const char *text;
  int32_t n;
  if (!take_field(blk, &text, &n)) return 0;
  char work[kWorkSize];
  if (rewrite_date(text, n, work) < 0) return IFM_INVALID_DATA;
  ifmblock inner = inner_block(work, kDateLen, blk->target);
  uint32_t rc = i8601da(&inner);
  blk->status = inner.status;
  return rc;
}

// b8601dn: the forms of b8601da; stores the host datetime of that date's
// midnight. Returns what b8601da returns; a missing value is left unscaled.
ZB_API uint32_t b8601dn(ifmblock *blk) {
  uint32_t rc = b8601da(blk);
  if (rc != 0) return rc;
  double *target = static_cast<double *>(blk->target);
  if (!ifm_is_missing(*target)) *target *= 86400.0;
  return 0;
}

// b8601dt: yyyymmddThhmmss with the dates of b8601da and the times of b8601tm
// ('t' serves as well); 2011-09-09T12:30:45 is read as it stands. Stores the
// host datetime. Returns 0, 0x8001d819 for a bad basic text, or what i8601dt
// returns.
ZB_API uint32_t b8601dt(ifmblock *blk) {
  return read_basic_datetime(blk, Separator::kRequired, false, i8601dt);
}

// b8601dz: as b8601dt, closed by Z or a sign and four digits. Stores the host
// datetime at GMT. Returns 0, 0x8001d819 for a bad basic text or zone, or what
// i8601dz returns.
ZB_API uint32_t b8601dz(ifmblock *blk) {
  return read_basic_datetime(blk, Separator::kRequired, true, i8601dz);
}

// b8601dj: as b8601dt, but the 'T' may be left out (yyyymmddhhmmss) or stand
// as a blank. Returns as b8601dt.
ZB_API uint32_t b8601dj(ifmblock *blk) {
  return read_basic_datetime(blk, Separator::kOptional, false, i8601dt);
}

// b8601ci: as b8601dj, but a field that begins with a digit d carries the
// century 19 + d in place of the first two digits of the year (1110909T123045
// is 2011-09-09T12:30:45). Returns as b8601dt, and 0x8001d819 when the
// expanded field would not fit the expansion buffer.
ZB_API uint32_t b8601ci(ifmblock *blk) {
  int32_t len = zb_window(blk);
  if (len == 0 || !zb_isdigit(static_cast<unsigned char>(blk->input[0])))
    return b8601dj(blk);

  // Trailing blanks are dropped from a field too wide for the buffer; the
  // readers trim them anyway.
  if (len + 1 > kExpandSize) len = wzstrip(blk->input, len);
  if (len + 1 > kExpandSize) return IFM_INVALID_DATA;
  char expanded[kExpandSize];
  int32_t century = 19 + (static_cast<unsigned char>(blk->input[0]) - '0');
  expanded[0] = static_cast<char>('0' + century / 10);
  expanded[1] = static_cast<char>('0' + century % 10);
  memcpy(expanded + 2, blk->input + 1, static_cast<size_t>(len - 1));

  ifmblock copy = *blk;
  copy.input = expanded;
  copy.width = len + 1;
  copy.avail = len + 1;
  uint32_t rc = b8601dj(&copy);
  blk->status = copy.status;
  return rc;
}

// The registered readers in registration order; morvista registers the
// first six.
ZB_HIDDEN extern void *const zb_basic_readers[kBasicReaders] = {
    reinterpret_cast<void *>(b8601da), reinterpret_cast<void *>(b8601tm),
    reinterpret_cast<void *>(b8601tz), reinterpret_cast<void *>(b8601dt),
    reinterpret_cast<void *>(b8601dz), reinterpret_cast<void *>(b8601dn),
    reinterpret_cast<void *>(b8601dj), reinterpret_cast<void *>(b8601ci),
};
