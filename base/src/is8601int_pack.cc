// The packed ISO entity: the 8-byte form of one datetime or duration
// (convert_to_bcd), its hexadecimal digits (hexify) and the two byte-code
// tables of the component form.
#include <string.h>

#include "entity.h"
#include "fstring.h"

// postxt[i]: the two-decimal-digit code of i (0x00 .. 0x99); entry 100: 0xFF,
// the code of an absent pair.
ZB_API const uint8_t postxt[101] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,  //
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,  //
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,  //
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39,  //
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,  //
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,  //
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,  //
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79,  //
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,  //
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,  //
    0xFF,
};

// negtxt[i]: the i-th byte, ascending, whose two hexadecimal digits are not
// both decimal. A negative component-form duration carries in byte 0 the
// negtxt code at the postxt position of its first two year digits.
ZB_API const uint8_t negtxt[101] = {
    0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x1A, 0x1B, 0x1C, 0x1D,  //
    0x1E, 0x1F, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x3A, 0x3B,  //
    0x3C, 0x3D, 0x3E, 0x3F, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  //
    0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x6A, 0x6B, 0x6C, 0x6D,  //
    0x6E, 0x6F, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F, 0x8A, 0x8B,  //
    0x8C, 0x8D, 0x8E, 0x8F, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,  //
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9,  //
    0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3,  //
    0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD,  //
    0xBE, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,  //
    0xFE,
};


namespace {


// Single-unit form: zero bytes, the count's low 32 bits in bytes 3-6 (most
// significant first), the unit code in byte 7. The count is taken modulo 2^64
// so that only its low 32 bits matter, whatever its size (the scanner hands
// over no count beyond 32 bits).
void pack_single_unit(iso_entity *e) {
  uint64_t count = static_cast<uint64_t>(ent_unit_count(e));
  if (e->unit & ENT_UNIT_THOUSANDTHS) count = count * 1000u + static_cast<uint64_t>(e->fraction);
  uint8_t *b = e->packed;
  memset(b, 0, 8);
  b[3] = static_cast<uint8_t>(count >> 24);
  b[4] = static_cast<uint8_t>(count >> 16);
  b[5] = static_cast<uint8_t>(count >> 8);
  b[6] = static_cast<uint8_t>(count);
  b[7] = static_cast<uint8_t>(e->unit * 4u + 2u);
  if (e->negative) b[1] |= 0x80;
}

// Two decimal digits of a component within 0-99, as two nibbles. Each digit
// is kept to its own nibble, so a value out of range never spills into its
// neighbour.
inline uint64_t pair(int64_t v) {
  if (static_cast<uint64_t>(v) < 100) return postxt[v];
  return static_cast<uint64_t>((v / 10) & 0xF) << 4 | static_cast<uint64_t>((v % 10) & 0xF);
}

// Position in postxt of each byte value (the first one, as wzstpos finds
// it), or -1.
struct PostxtIndex {
  int8_t at[256];
  constexpr PostxtIndex() : at() {
    for (int i = 0; i < 256; ++i) at[i] = -1;
    for (int i = 100; i >= 0; --i) {
      const int code = i == 100 ? 0xFF : (i / 10) << 4 | (i % 10);
      at[code] = static_cast<int8_t>(i);
    }
  }
};
constexpr PostxtIndex kPostxtIndex;

// The four year digits (thousands first) as nibbles of a 16-bit value, F for
// a position that holds no digit: what wzclchr writes for year + 10000 in
// five positions, less its first one (the added 10000 only forces the leading
// zeros: year 7 gives 0007). Digits are those of the host's class table.
uint64_t year_digits(int64_t year) {
  if (year >= 0 && year <= 9999) {
    // The digits straight from postxt, each kept where the class table
    // takes its character for a digit.
    const uint64_t bcd = uint64_t{postxt[year / 100]} << 8 | postxt[year % 100];
    uint64_t digits = 0;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const uint64_t d = bcd >> shift & 0xF;
      digits = digits << 4 | (zb_isdigit(static_cast<unsigned char>('0' + d)) ? d : 0xFu);
    }
    return digits;
  }
  // No packed form; whatever is not a digit there stays F.
  char text[5];
  wzclchr(static_cast<int64_t>(static_cast<uint64_t>(year) + 10000u), text, 5);
  uint64_t digits = 0;
  for (int i = 1; i < 5; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    digits = digits << 4 | (zb_isdigit(c) ? static_cast<uint64_t>((c - '0') & 0xF) : 0xFu);
  }
  return digits;
}

// Component form: digits 1-13 (year, month, day, hour, minute, second; F where
// absent), then a 12-bit tail of fraction, anchor and datetime bits. The
// sixteen digits are built in one word, digit 1 in its top nibble.
void pack_components(iso_entity *e) {
  const uint8_t absent = e->absent;
  uint64_t w = ~uint64_t{0};
  if (!(absent & ENT_ABSENT_YEAR))
    w = (w & ~(uint64_t{0xFFFF} << 48)) | year_digits(e->year) << 48;
  if (!(absent & ENT_ABSENT_MONTH))
    w = (w & ~(uint64_t{0xF} << 44)) | static_cast<uint64_t>(e->month & 0xF) << 44;
  if (!(absent & ENT_ABSENT_DAY)) w = (w & ~(uint64_t{0xFF} << 36)) | pair(e->day) << 36;
  if (!(absent & ENT_ABSENT_HOUR)) w = (w & ~(uint64_t{0xFF} << 28)) | pair(e->hour) << 28;
  if (!(absent & ENT_ABSENT_MINUTE)) w = (w & ~(uint64_t{0xFF} << 20)) | pair(e->minute) << 20;
  if (!(absent & ENT_ABSENT_SECOND)) w = (w & ~(uint64_t{0xFF} << 12)) | pair(e->second) << 12;

  const uint32_t fraction =
      (absent & ENT_ABSENT_FRACTION) ? 0x3FFu : static_cast<uint32_t>(e->fraction) & 0x3FFu;
  const uint32_t tail = fraction * 4u + (e->is_anchor ? 2u : 0u) + (e->is_datetime ? 1u : 0u);
  w = (w & ~uint64_t{0xFFF}) | (tail & 0xFFFu);

  if (e->negative) {
    int32_t at = kPostxtIndex.at[w >> 56];  // as wzstpos over the 101 bytes of postxt
    if (at < 0) at = 100;                   // only a year outside 0-9999 gets here
    w = (w & ~(uint64_t{0xFF} << 56)) | uint64_t{negtxt[at]} << 56;
  }
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bytes stored from a swapped word");
  w = __builtin_bswap64(w);  // byte 0 first
  memcpy(e->packed, &w, 8);
}

}  // namespace

// convert_to_bcd(entity): writes the entity's 8-byte packed form into
// e->packed: eight 0xFF bytes when absent is 0xFF; the single-unit form when
// unit is nonzero; otherwise the component form (every datetime, and
// durations by component). Components are expected within their ranges
// (year 0-9999, month 0-12, others 0-99, fraction 0-999). Returns 0.
ZB_API int32_t convert_to_bcd(iso_entity *e) {
  if (e->absent == ENT_MISSING)
    ent_set_missing(e->packed);
  else if (e->unit != 0)
    pack_single_unit(e);
  else
    pack_components(e);
  return 0;
}

// hexify(source, count, target, width): writes the hexadecimal digits of the
// count source bytes, two a byte, high nibble first, into width characters
// of target through the host. Returns what the host returns.
ZB_API int32_t hexify(const void *src, int32_t count, char *target, int32_t width) {
  return wzfmhc(src, count, width, 1, target);
}
