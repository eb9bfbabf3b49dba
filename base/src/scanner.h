// The date-or-duration scanner's state and the steps of its grammar that
// both the main loop (is8601int_i.cc) and its fast paths (is8601int_fast.cc)
// take: reading a number, storing it in its slot, the designator table.
#pragma once

#include <stddef.h>
#include <string.h>

#include "entity.h"
#include "fstring.h"

namespace scan {

constexpr int32_t kModeStrict = 0x80;
constexpr int32_t kModeStrictPlaceholders = 0x200;

inline constexpr char kDesignatorChars[6] = {'Y', 'M', 'D', 'H', 'S', 'W'};
// Position of a designator = the slot it fills: m is minutes, i the fraction.
inline constexpr char kSlotLetters[7] = {'Y', 'M', 'D', 'H', 'm', 'S', 'i'};

// Position of each byte value in a list such as those above (the first, as
// wzstpos finds it), or -1: a search of the list in one load.
struct ByteIndex {
  int8_t at[256];
  template <class T, size_t N>
  constexpr explicit ByteIndex(const T (&list)[N]) : at() {
    for (int i = 0; i < 256; ++i) at[i] = -1;
    for (int i = static_cast<int>(N) - 1; i >= 0; --i)
      at[static_cast<uint8_t>(list[i])] = static_cast<int8_t>(i);
  }
};
inline constexpr ByteIndex kDesignatorIndex(kDesignatorChars);
inline constexpr ByteIndex kSlotIndex(kSlotLetters);

enum class Kind : uint8_t { undecided, basic, designators, delimited };

inline bool is_mark(unsigned char c) { return c == ',' || c == '.'; }
inline bool is_designator(unsigned char c) { return kDesignatorIndex.at[c] >= 0; }
// Position of d in kSlotLetters, or -1.
inline int32_t slot_of(unsigned char d) { return kSlotIndex.at[d]; }

// One number of the text: u characters used, value v; a placeholder ('-')
// stands for an omitted component and stores nothing.
struct Number {
  int32_t u = 0;
  int32_t dropped = 0;  // trailing fraction digits beyond a 64-bit value, not in v
  int64_t v = 0;
  bool placeholder = false;
};

// The leading decimal digits of p, at most max of them: 0, or problem 2 when
// p does not begin with a digit. The host routine is asked only when it does,
// so its failure there means digits beyond a 64-bit integer: problem 7.
ZB_INLINE int32_t read_digits(const char *p, int32_t max, Number *out) {
  if (max < 1 || !zb_isdigit(static_cast<unsigned char>(p[0]))) return PROB_NO_NUMBER;
  int32_t used = 0;
  int64_t value = 0;
  if (wzrlchr(p, max, 0, &used, &value) != 0 || used < 1 || used > max)
    return PROB_OUT_OF_RANGE;
  out->u = used;
  out->dropped = 0;
  out->v = value;
  out->placeholder = false;
  return 0;
}

// Fraction digits, at most max of them. A fraction may have any number of
// digits: when they go beyond a 64-bit value, the first 18 give the value
// and the rest are only counted, since they cannot change the thousandths.
int32_t read_fraction(const char *p, int32_t max, Number *out);

// Where the scan stands: the text, the position, the slot next filled, the
// kind of text decided by the first number, and what the loop has met.
struct Scan {
  const char *text;
  int32_t end;   // length without trailing blanks
  int32_t pos;   // next character
  int32_t n;     // characters left from pos
  iso_entity *e;
  int32_t mode;
  int count = 0;              // next component slot
  Kind kind = Kind::undecided;
  bool t_seen = false;
  bool after_mark = false;    // the previous number ended in a decimal mark
  int frac = -1;              // fraction marker: count of the number with the mark
  bool violation = false;     // strict digit-count rule broken
  bool zone = false;          // a zone character ended the loop
  unsigned char zone_ch = 0;  // '+', '-' or 'Z'
  bool datetime = false;      // e->is_datetime
  int32_t zone_at = 0;        // index of the zone character

  bool strict() const { return mode == kModeStrict || mode == kModeStrictPlaceholders; }
  unsigned char at(int32_t i) const { return static_cast<unsigned char>(text[i]); }
  void advance(int32_t k) {
    if (k > n) k = n;
    pos += k;
    n -= k;
  }
};

// Fraction digits in thousandths by their number u: v x 10^(3-u) for up to
// three digits, so leading zeros count; v / 10^(u-3) for more, rounded by
// adding 0.499999 and truncating. A fraction that would round to 1000
// (.9999995 and the like) is kept below the next unit as 999.
int64_t thousandths(const Number &num);

// Year, month, day, hour, minute and second lie side by side in iso_entity,
// in slot order.
static_assert(offsetof(iso_entity, month) == offsetof(iso_entity, year) + 8 &&
              offsetof(iso_entity, second) == offsetof(iso_entity, year) + 40);

// Stores a number in its slot (6 is the fraction) and marks the slot given;
// a placeholder stores nothing.
ZB_INLINE void store(Scan &s, int slot, const Number &num) {
  if (num.placeholder) return;
  iso_entity *e = s.e;
  if (slot < 6)
    memcpy(reinterpret_cast<char *>(e) + offsetof(iso_entity, year) + 8 * slot, &num.v, 8);
  else
    e->fraction = thousandths(num);
  e->absent = static_cast<uint8_t>(e->absent & ~(0x80u >> slot));
}

// A zone designator ('+', '-' or Z in any case) at index at ends the scan.
ZB_INLINE void start_zone(Scan &s, unsigned char chr, int32_t at) {
  s.zone = true;
  s.zone_ch = chr == '+' || chr == '-' ? chr : 'Z';
  s.zone_at = at;
}

// The slot that designator d gives a number (M after the T is minutes, W
// counts days and marks the weeks), or minus the problem code: no time
// designator before the T, no designator, or a slot not after every one
// given so far.
ZB_INLINE int32_t designated_slot(iso_entity *e, Number &num, unsigned char d, bool t_seen) {
  if (d == 'M' && t_seen) d = 'm';
  if (d == 'W') {
    e->weeks = 1;
    d = 'D';
    if (__builtin_mul_overflow(num.v, int64_t{7}, &num.v)) return -PROB_OUT_OF_RANGE;
  }
  if (!t_seen && (d == 'H' || d == 'S')) return -PROB_NO_TIME;
  const int32_t slot = slot_of(d);
  if (slot < 0) return -PROB_NO_DESIGNATOR;
  // This slot and every later one must still be absent.
  const unsigned mask = ((0xFFu << slot) & 0xFFu) >> slot;
  if ((e->absent & mask) != mask) return -PROB_OUT_OF_ORDER;
  return slot;
}

// The main loop, one number a pass, from the scanner's present state; and
// the same from a number already read. 0 or a problem code.
int32_t scan_loop(Scan &s);
int32_t resume(Scan &s, Number &num);

// The fast paths: the main loop's passes written out for an extended datetime
// and for a duration of designated components. Each hands over to the main
// loop wherever the text leaves its form, so the results are the loop's.
int32_t scan_extended(Scan &s);
int32_t scan_designated(Scan &s);

}  // namespace scan
