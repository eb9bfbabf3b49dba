#include "codes.h"

#include "ifmblock.h"
#include "problems.h"
#include "zelbrant/reader.h"

namespace zbhost {

namespace {
struct CodeText {
  uint32_t code;
  const char *text;
};
// ZIFM_BAD_TIME is IFM_INVALID_DATA: one code, one message.
constexpr CodeText kCodes[] = {
    {IFM_MALFORMED, "malformed time"},
    {IFM_INVALID_DATA, "invalid data"},
    {IFM_BAD_DATE, "invalid date or datetime"},
    {ZIFM_WIDTH_LOW, "width below the minimum"},
    {ZIFM_WIDTH_HIGH, "width above the maximum"},
    {ZIFM_DEC_LOW, "decimals below 0"},
    {ZIFM_DEC_HIGH, "decimals above 31"},
    {ZIFM_SHORT, "field shorter than 5 characters"},
    {ZIFM_BAD_HOURS, "hours did not convert"},
    {ZIFM_NO_MINUTES, "no minutes after the separator"},
    {ZIFM_BAD_MINUTES, "minutes or seconds did not convert"},
    {ZIFM_BAD_SUFFIX, "bad AM/PM suffix"},
    {IFM_NO_FIT, "number does not fit its field"},
    {IFM_PROBLEM, "problem with formatting"},
    // The reader API's own, for values read but not representable as asked.
    {ZB_CODE_RANGE, "value outside what the unit holds"},
    {ZB_CODE_INSTANT, "no exact instant: a fraction of a year or month, or no date"},
};
static_assert(ZIFM_BAD_TIME == IFM_INVALID_DATA);
}  // namespace

const char *code_text(uint32_t code) {
  for (const CodeText &c : kCodes)
    if (c.code == code) return c.text;
  return "unknown code";
}

const char *problem_text(uint32_t code) { return problem_of(code).message; }

}  // namespace zbhost
