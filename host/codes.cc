#include "codes.h"

namespace zbhost {

namespace {
struct CodeText {
  uint32_t code;
  const char *text;
};
constexpr CodeText kCodes[] = {
    {0x00000001u, "malformed time"},
    {0x8001d819u, "invalid data"},
    {0x8001d814u, "invalid date or datetime"},
    {0x80002027u, "width below the minimum"},
    {0x80002028u, "width above the maximum"},
    {0x80002029u, "decimals below 0"},
    {0x8000202au, "decimals above 31"},
    {0x8001d827u, "field shorter than 5 characters"},
    {0x8001d81au, "hours did not convert"},
    {0x8001d81bu, "no minutes after the separator"},
    {0x8001d81cu, "minutes or seconds did not convert"},
    {0x8001d821u, "bad AM/PM suffix"},
    {0x8000200du, "number does not fit its field"},
    {0x8001d825u, "problem with formatting"},
};
// Problem codes 1 to 27, in order.
constexpr const char *kProblems[] = {
    "too many digits with no delimiters",
    "number not found where expected",
    "4-digit year not seen where expected",
    "YMDHMSW chars seen in datetime spec",
    "YMDHMSW chars not seen where expected",
    "YMDHMSW chars seen out of order",
    "an element was out of range",
    "invalid datetime value",
    "invalid GMT offset",
    "extra chars after specification",
    "all blank",
    "not expected delimiter",
    "interval is blank",
    "interval has 2 durations",
    "start datetime > end datetime in intvl",
    "interval has 1 component - datetime",
    "ISO strict - must be right number of digs",
    "ISO strict - delimiters expected",
    "Leading character P expected",
    "multiple fractions encountered",
    "T missing before H or S component",
    "informat target not 32 (intvl) or 16",
    "T found before day component",
    "Entity less than length 16",
    "Entity must have 16 or 32 hex digits",
    "Entity contains non-hex digits",
    "Insufficient room to format the result",
};
}  // namespace

const char *code_text(uint32_t code) {
  for (const CodeText &c : kCodes)
    if (c.code == code) return c.text;
  return "unknown code";
}

const char *problem_text(uint32_t code) {
  constexpr uint32_t n = sizeof kProblems / sizeof kProblems[0];
  return code >= 1 && code <= n ? kProblems[code - 1] : "Unknown reason";
}

}  // namespace zbhost
