// Fixed-length string routines: search, measure, compare, justify and fill
// fields given as a pointer and a length. One pass each, no allocation, and
// no byte outside [field, field + length) is ever read or written.
#include "fstring.h"

#include <stdint.h>
#include <string.h>

namespace {

const unsigned char *bytes(const void *p) { return static_cast<const unsigned char *>(p); }

// Offsets are returned as 32-bit integers; a 64-bit length is searched no
// further than the last offset that can be returned.
int64_t searchable(int64_t len) { return len > INT32_MAX ? int64_t{INT32_MAX} + 1 : len; }

}  // namespace

// vzsntl(field, length, key): offset of the first byte whose value differs
// from the whole 32-bit key (a key outside 0..255 differs from every byte),
// or -1. The field may not be null unless the length is 0 or less.
ZB_API int32_t vzsntl(const void *field, int64_t len, int32_t key) {
  const unsigned char *p = bytes(field);
  const int64_t n = searchable(len);
  for (int64_t i = 0; i < n; ++i)
    if (static_cast<int32_t>(p[i]) != key) return static_cast<int32_t>(i);
  return -1;
}

// wzstnot(field, length, key): offset of the first byte that differs from the
// low byte of key, or -1 (also for a null field or a length of 0 or less).
ZB_API int32_t wzstnot(const void *field, int32_t len, int32_t key) {
  if (field == nullptr) return -1;
  const unsigned char *p = bytes(field);
  const unsigned char k = static_cast<unsigned char>(key);
  for (int32_t i = 0; i < len; ++i)
    if (p[i] != k) return i;
  return -1;
}

// wzstpos(field, length, key): offset of the first byte equal to the low byte
// of key, or -1 (also for a null field or a length of 0 or less).
ZB_API int32_t wzstpos(const void *field, int32_t len, int32_t key) {
  if (field == nullptr || len <= 0) return -1;
  const void *hit = memchr(field, static_cast<unsigned char>(key), static_cast<size_t>(len));
  return hit ? static_cast<int32_t>(bytes(hit) - bytes(field)) : -1;
}

// vzstl(field, length, table): offset of the first byte whose entry in the
// 256-byte class table is nonzero, or -1. Neither pointer may be null.
ZB_API int32_t vzstl(const void *field, int64_t len, const uint8_t *table) {
  const unsigned char *p = bytes(field);
  const int64_t n = searchable(len);
  for (int64_t i = 0; i < n; ++i)
    if (table[p[i]] != 0) return static_cast<int32_t>(i);
  return -1;
}

// wzstlen(text): bytes before the first NUL of a C string; 0 for null. A text
// too long for a 32-bit count reports INT32_MAX.
ZB_API int32_t wzstlen(const char *text) {
  if (text == nullptr) return 0;
  const size_t n = strlen(text);
  return n > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(n);
}

// wzstrip(field, length): the length without trailing blanks, i.e. the offset
// of the last non-blank byte plus 1, or 0 when all bytes are blank. A length
// of 0 or less is returned unchanged.
ZB_API int32_t wzstrip(const void *field, int32_t len) {
  return zb_strip(static_cast<const char *>(field), len);
}

// wzbcup(a, b, n): compares n bytes regardless of case: equal bytes match,
// others are compared through the host's upper-case table. Returns
// upper(a) - upper(b) at the first mismatch, else 0 (also for n <= 0).
ZB_API int32_t wzbcup(const void *a, const void *b, int32_t n) {
  const unsigned char *x = bytes(a);
  const unsigned char *y = bytes(b);
  for (int32_t i = 0; i < n; ++i) {
    if (x[i] == y[i]) continue;
    const int32_t ux = zb_upper(x[i]);
    const int32_t uy = zb_upper(y[i]);
    if (ux != uy) return ux - uy;
  }
  return 0;
}

// wzstjls(field, length, code, out_length, out_offset): finds the text between
// leading and trailing blanks and, by code, moves it to the left ('L'/'l'),
// right ('R'/'r') or centre ('C'/'c'; an odd blank goes right) of the field,
// blanking what it leaves. Any other code ('n') only measures. Stores the
// text's offset and length (0 and 0 for an empty or all-blank field) through
// the out pointers that are not null.
ZB_API void wzstjls(char *field, int32_t len, int32_t code, int32_t *out_length,
                    int32_t *out_offset) {
  int32_t lead, text;
  zb_measure(field, len, &lead, &text);
  if (text == 0) {
    if (out_offset) *out_offset = 0;
    if (out_length) *out_length = 0;
    return;
  }
  const int32_t n = len - lead;  // bytes from the text's start to the end

  int32_t shift = 0;
  switch (code) {
    case 'L':
    case 'l':
      shift = -lead;
      break;
    case 'R':
    case 'r':
      shift = n - text;
      break;
    case 'C':
    case 'c':
      // (len - text) div 2 is where the text starts; both are non-negative.
      shift = (len - text) / 2 - lead;
      break;
    default:
      break;
  }
  const int32_t to = lead + shift;
  if (shift > 0) {
    memmove(field + to, field + lead, static_cast<size_t>(text));
    memset(field + lead, ' ', static_cast<size_t>(shift));
  } else if (shift < 0) {
    memmove(field + to, field + lead, static_cast<size_t>(text));
    memset(field + to + text, ' ', static_cast<size_t>(-shift));
  }
  if (out_offset) *out_offset = to;
  if (out_length) *out_length = text;
}

// wzclchr(value, field, length): writes value in decimal, right-justified and
// blank-filled on the left, with '-' before the digits of a negative value.
// Returns 0, or 0x8000200D when the number does not fit: the field is then
// all '*', or untouched when its length is 0 or less.
ZB_API uint32_t wzclchr(int64_t value, char *field, int32_t len) {
  if (len <= 0) return IFM_NO_FIT;
  // Digits from the remainders of truncating division, so INT64_MIN needs no
  // negation; 19 digits and a sign at most.
  char digits[20];
  int32_t count = 0;
  int64_t v = value;
  do {
    const int64_t r = v % 10;
    digits[count++] = static_cast<char>('0' + (r < 0 ? -r : r));
    v /= 10;
  } while (v != 0);
  if (value < 0) digits[count++] = '-';
  if (count > len) {
    memset(field, '*', static_cast<size_t>(len));
    return IFM_NO_FIT;
  }
  const int32_t start = len - count;
  memset(field, ' ', static_cast<size_t>(start));
  for (int32_t i = 0; i < count; ++i) field[start + i] = digits[count - 1 - i];
  return 0;
}
