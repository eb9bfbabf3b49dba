#include "codes.h"

namespace isoread {

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
}  // namespace

const char *code_text(uint32_t code) {
  for (const CodeText &c : kCodes)
    if (c.code == code) return c.text;
  return "unknown code";
}

}  // namespace isoread
