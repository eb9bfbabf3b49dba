// Host values as text: extended ISO 8601 (date, time, datetime), plain
// numbers, hexadecimal codes and JSON strings. Every function writes into a
// caller's buffer and returns the end of what it wrote; none allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>


namespace isoread {

// Room any single rendered value needs: the exact text of the smallest
// double of a time (5e-324 s has 324 fraction digits) with its sign and Z.
constexpr size_t kValueRoom = 352;

// A host date (days from 1960-01-01), time (seconds from midnight) or
// datetime (seconds from 1960-01-01T00:00:00) as extended ISO 8601 text,
// with the fraction of a second where there is one: the shortest decimal
// that reads back to the same double (zb_value_text). Times may be negative
// or beyond 24 hours (the calendar routine reads -1:30 and 25:00); they are
// written as signed hours. zoned adds 'Z' to a time or datetime that its
// reader normalised to GMT. Dates outside 1582..9999 are written with
// expanded years and fractions of up to 15 significant digits, values too
// far out for a calendar date as plain numbers.
char *render_iso(char *out, double v, int32_t kind,
                 bool zoned = false);  // ZB_KIND_DATE, _TIME or _DATETIME

// The shortest text that reads back as the same double.
char *render_number(char *out, double v);

// 0x and eight lower-case hexadecimal digits.
char *render_code(char *out, uint32_t code);

// Unsigned decimal.
char *render_unsigned(char *out, uint64_t v);

// Bytes as a JSON string body (no quotes): '"', '\\' and control bytes
// escaped, valid UTF-8 passed through, any other byte written as the code
// point of the same value (\u00XX). Needs up to 6 bytes of room per byte.
char *render_json_text(char *out, std::string_view bytes);

// Bytes as a C-style quoted text for the debug dump: printable ASCII as it
// stands, everything else as \xHH. Needs up to 4 bytes of room per byte + 2.
char *render_quoted(char *out, std::string_view bytes);

// Bytes as hexadecimal pairs separated by blanks. 3 bytes of room per byte.
char *render_hex(char *out, const unsigned char *bytes, size_t n);

}  // namespace isoread
