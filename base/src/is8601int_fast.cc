// Fast paths of the date-or-duration scanner for its two commonest forms:
// extended datetimes (2011-09-09T12:30:45.5+01:00) and durations of
// designated components (P1Y2M10DT2H30M). Each is the main loop's passes
// (scan_loop, the grammar) written out for the characters its form expects,
// with the state in registers, and hands over to the loop wherever the text
// leaves the form; so they must decide as the loop does on every text.
//
// What shows that they do: the scanner and interval tables of
// tests/scanner_test.cc and tests/interval_test.cc, with the neighbour rows
// that leave each form one character at a time (DesignatorPassAndItsNeighbours
// among them); and the entity differential, tools/entity_diff, run against a
// build configured with -DZB_SCAN_LOOP_ONLY=ON, in which the loop reads
// everything: it compares every result, host call and log line.
//
// They stay only while they pay: measured against the loop alone (that same
// build), side by side, the datetime path saves about a quarter of the
// instructions of an extended datetime, the designator path an eighth of a
// duration's (docs/performance.md).
#include "scanner.h"

namespace scan {

namespace {

// Whether the main loop would read a number at the position straight away
// (no T, no placeholder; the slot checks are the caller's).
ZB_INLINE bool plain_start(const Scan &s) {
  if (s.n <= 0) return false;
  const unsigned char c = s.at(s.pos);
  return c != '-' && zb_upper(c) != 'T';
}

// One number of the extended datetime, of two digits and followed by sep, as
// the delimited kind takes it before the T ('-') or after it (':'): stored,
// skipped with its separator. False, with the state untouched, for any
// other number or character.
ZB_INLINE bool two_digits_then(Scan &s, const Number &num, unsigned char sep) {
  if (num.u != 2 || num.u >= s.n || s.at(s.pos + 2) != sep) return false;
  store(s, s.count, num);
  s.advance(3);
  ++s.count;
  return true;
}

}  // namespace

// A datetime in extended notation, yyyy-mm-ddThh:mm:ss with a fraction or a
// zone or neither: the main loop's passes written out for the characters
// expected there. Each number is read with the same host call and maximum
// as the main loop reads it, and each step makes the loop's decisions for
// what it finds; at the first character or number that is not the expected
// one, the main loop carries on from the same state, so the results are the
// main loop's in every case.
int32_t scan_extended(Scan &out) {
  // Worked on in a copy that nothing else sees, so that its fields can stay
  // in registers across the host calls; the caller's state is written back
  // where the main loop takes over or the scan ends.
  Scan s = out;
  const auto ends = [&] {
    out = s;
    return 0;
  };
  Number num;
  int32_t rc;
  // Year: the first number, four digits at most, then '-': the delimited kind.
  if (!plain_start(s)) return scan_loop(out = s);
  if ((rc = read_digits(s.text + s.pos, s.n < 4 ? s.n : 4, &num)) != 0) return rc;
  if (num.u != 4 || num.u >= s.n || s.at(s.pos + 4) != '-') return resume(out = s, num);
  const unsigned char dash = zb_upper('-');
  if (dash == 'T' || zb_isdigit('-') || is_designator(dash)) return resume(out = s, num);
  s.kind = Kind::delimited;
  store(s, 0, num);
  s.advance(5);
  s.count = 1;
  // Month, then '-'.
  if (!plain_start(s)) return scan_loop(out = s);
  if ((rc = read_digits(s.text + s.pos, s.n, &num)) != 0) return rc;
  if (!two_digits_then(s, num, '-')) return resume(out = s, num);
  // Day, then the T (read by the next pass).
  if (!plain_start(s)) return scan_loop(out = s);
  if ((rc = read_digits(s.text + s.pos, s.n, &num)) != 0) return rc;
  if (num.u != 2 || num.u >= s.n) return resume(out = s, num);
  {
    const unsigned char chr = s.at(s.pos + 2);
    if (is_mark(chr) || chr == '-' || zb_upper(chr) != 'T') return resume(out = s, num);
  }
  store(s, 2, num);
  s.advance(2);
  s.count = 3;
  s.t_seen = true;
  s.advance(1);
  if (s.n == 0) return PROB_TRAILING_T;
  // Hour and minute, each then ':'.
  if (zb_upper(':') == 'Z') return scan_loop(out = s);
  for (int k = 0; k < 2; ++k) {
    if (!plain_start(s)) return scan_loop(out = s);
    if ((rc = read_digits(s.text + s.pos, s.n, &num)) != 0) return rc;
    if (!two_digits_then(s, num, ':')) return resume(out = s, num);
  }
  // Second: the end, a decimal mark or a zone.
  if (!plain_start(s)) return scan_loop(out = s);
  if ((rc = read_digits(s.text + s.pos, s.n, &num)) != 0) return rc;
  if (num.u != 2) return resume(out = s, num);
  const unsigned char blank_up = zb_upper(' ');
  if (num.u == s.n) {
    if (blank_up == 'Z') return resume(out = s, num);
    store(s, 5, num);
    s.advance(2);
    s.count = 6;
    return ends();
  }
  {
    const unsigned char chr = s.at(s.pos + 2);
    if (is_mark(chr)) {
      s.frac = 5;
      store(s, 5, num);
      s.advance(3);
      s.count = 6;
      s.after_mark = true;
    } else if (chr == '+' || chr == '-' || zb_upper(chr) == 'Z') {
      start_zone(s, chr, s.pos + 2);
      store(s, 5, num);
      s.advance(3);
      s.count = 6;
      return ends();
    } else {
      return resume(out = s, num);
    }
  }
  // The fraction digits, to the end or to a zone.
  if (s.n == 0) return ends();
  if (!plain_start(s)) return scan_loop(out = s);
  if ((rc = read_fraction(s.text + s.pos, s.n, &num)) != 0) return rc;
  if (num.u == s.n) {
    if (blank_up == 'Z') return resume(out = s, num);
  } else {
    const unsigned char chr = s.at(s.pos + num.u);
    if (!(chr == '+' || chr == '-' || zb_upper(chr) == 'Z') || is_mark(chr))
      return resume(out = s, num);
    start_zone(s, chr, s.pos + num.u);
  }
  store(s, 6, num);
  s.advance(num.u + (s.zone ? 1 : 0));
  s.count = 7;
  s.after_mark = false;
  return ends();
}

// A duration of designated components, each a whole number (P1Y2M10DT2H30M,
// PT36H, P3W): the main loop's passes for the designator kind written out,
// with the position, count and kind held in registers. Each number is read
// with the same host call and maximum as the main loop reads it, and each
// step makes the loop's decisions for what it finds; at a placeholder, a
// decimal mark, a number that ends the text or one that decides another
// kind, the main loop carries on from the same state.
int32_t scan_designated(Scan &s) {
  const char *const text = s.text;
  int32_t pos = s.pos, n = s.n;
  int count = 0;
  bool t_seen = false;
  Kind kind = Kind::undecided;
  const auto hand_over = [&] {
    s.pos = pos;
    s.n = n;
    s.count = count;
    s.t_seen = t_seen;
    s.kind = kind;
  };
  while (n > 0) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (zb_upper(c) == 'T') {
      t_seen = true;
      ++pos;
      --n;
      if (n == 0) return PROB_TRAILING_T;
      count = 3;
      continue;
    }
    if ((count == 3 && !t_seen) || count == 7) return PROB_TOO_MANY_DIGITS;
    if (c == '-') {
      hand_over();
      return scan_loop(s);
    }
    Number num;
    if (const int32_t rc = read_digits(text + pos, n, &num); rc != 0) return rc;
    if (num.u == n) {
      hand_over();
      return resume(s, num);
    }
    const unsigned char chr = static_cast<unsigned char>(text[pos + num.u]);
    const unsigned char ch = zb_upper(chr);
    if (is_mark(chr)) {
      hand_over();
      return resume(s, num);
    }
    if (kind == Kind::undecided) {
      // What first_number decides: the designator kind unless the number
      // opens a basic year (the T is no designator).
      if ((count == 0 && num.u == 4 && zb_isdigit(chr)) || !is_designator(ch)) {
        hand_over();
        return resume(s, num);
      }
      kind = Kind::designators;
    }
    // What designated_number does with a number and its letter.
    const int32_t slot = designated_slot(s.e, num, ch, t_seen);
    if (slot < 0) return -slot;
    store(s, slot, num);
    pos += num.u + 1;
    n -= num.u + 1;
    ++count;
  }
  hand_over();
  return 0;
}

}  // namespace scan
