// Fixed-length string routines: fields are a pointer and a length, never
// NUL-terminated (wzstlen alone takes a C string). The blank is byte 32.
#pragma once

#include <stdint.h>
#include <string.h>

#include "module.h"

ZB_API int32_t vzsntl(const void *field, int64_t len, int32_t key);
ZB_API int32_t wzstnot(const void *field, int32_t len, int32_t key);
ZB_API int32_t wzstpos(const void *field, int32_t len, int32_t key);
ZB_API int32_t vzstl(const void *field, int64_t len, const uint8_t *table);
ZB_API int32_t wzstlen(const char *text);
ZB_API int32_t wzstrip(const void *field, int32_t len);
ZB_API int32_t wzbcup(const void *a, const void *b, int32_t n);
ZB_API void wzstjls(char *field, int32_t len, int32_t code, int32_t *out_length,
                    int32_t *out_offset);
ZB_API uint32_t wzclchr(int64_t value, char *field, int32_t len);

// Inline forms of the measuring and searching routines, for the per-field
// path of the readers (wzstjls measures with zb_measure, wzstrip strips with
// zb_strip). Same results as wzstjls in its measuring mode, wzstpos, wzstrip,
// vzsntl with a byte key and vzstl, for lengths that fit 32 bits.

// Offset of the first non-blank byte and length up to the last one; 0 and 0
// for an empty or all-blank field.
static inline void zb_measure(const char *field, int32_t len, int32_t *offset, int32_t *length) {
  int32_t lead = 0;
  while (lead < len && field[lead] == ' ') ++lead;
  if (lead >= len) {
    *offset = 0;
    *length = 0;
    return;
  }
  int32_t end = len;
  while (field[end - 1] == ' ') --end;
  *offset = lead;
  *length = end - lead;
}

// The text of a field without its leading and trailing blanks (length 0 for
// an empty or all-blank field): what the readers parse.
struct zb_text {
  const char *p;
  int32_t len;
};
static inline zb_text zb_trim(const char *field, int32_t len) {
  int32_t offset, length;
  zb_measure(field, len, &offset, &length);
  return zb_text{field + offset, length};
}

// Offset of the first byte equal to key, or -1.
static inline int32_t zb_find(const char *field, int32_t len, char key) {
  for (int32_t i = 0; i < len; ++i)
    if (field[i] == key) return i;
  return -1;
}

// Offset of the first byte that is not key, or -1.
static inline int32_t zb_find_not(const char *field, int32_t len, char key) {
  for (int32_t i = 0; i < len; ++i)
    if (field[i] != key) return i;
  return -1;
}

// Offset of the first byte whose class-table entry is nonzero, or -1.
static inline int32_t zb_find_in(const char *field, int32_t len, const uint8_t *table) {
  for (int32_t i = 0; i < len; ++i)
    if (table[static_cast<unsigned char>(field[i])] != 0) return i;
  return -1;
}

// Length without trailing blanks; a length of 0 or less unchanged.
static inline int32_t zb_strip(const char *field, int32_t len) {
  if (len <= 0) return len;
  // Whole words of eight bytes from the end: in the first that is not all
  // blanks, the blanks at its end are the top bytes that match (the word is
  // loaded little-endian). Fewer than eight bytes left: byte by byte.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "last byte taken as the top one");
  while (len >= 8) {
    uint64_t w;
    memcpy(&w, field + len - 8, sizeof w);
    const uint64_t other = w ^ 0x2020202020202020ull;
    if (other != 0) return len - __builtin_clzll(other) / 8;
    len -= 8;
  }
  while (len > 0 && field[len - 1] == ' ') --len;
  return len;
}
