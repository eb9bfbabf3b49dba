// Packed ISO entities for people: the 8 bytes of one packed datetime or
// duration taken apart into a plain record, shown as ISO 8601 text, and put
// back together. Written from the byte layout alone; it shares no code or
// table with the modules, so it can check their packing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zbhost {

struct PackedEntity {
  enum class Form : uint8_t {
    kMissing,     // eight 0xFF bytes
    kDatetime,    // component form, a datetime read from the text
    kAnchor,      // component form, a reference start supplied by an interval
    kDuration,    // component form, a duration
    kSingleUnit,  // one count of one unit (durations only)
  };
  Form form = Form::kMissing;
  bool negative = false;  // durations only
  // Component form: each component is -1 when absent. fraction is in
  // thousandths of the smallest component given.
  int32_t year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
  int32_t fraction = -1;
  // Single-unit form: the unit code (1 months, 2 days, 3 weeks, 4 hours,
  // 8 minutes, 16 seconds; plus 32 when count is in thousandths).
  uint8_t unit = 0;
  uint32_t count = 0;
};

// Takes 8 packed bytes apart. False, with a short reason in *why (may be
// null), when they are no packed entity: a non-decimal digit, a month above
// 12, a fraction above 999, a sign on a datetime, an unknown unit.
bool decode_entity(const uint8_t bytes[8], PackedEntity *out, std::string *why = nullptr);

// The 8 bytes of e. Components outside their packed ranges (year 0-9999,
// month 0-12, others 0-99, fraction 0-999) are taken modulo those ranges, so
// only a record that decode_entity produced is sure to survive the trip.
void encode_entity(const PackedEntity &e, uint8_t out[8]);

// ISO 8601 text of e:
//   missing      "."
//   datetime     the components it has: "2011", "2011-09",
//                "2011-09-09T12:30:45.500", "T12:30" (no date part); the
//                fraction on the last of them: "2011.500" (half a year),
//                "2011-01.500", "2011-09-09T12.500"
//   anchor       "(ref 1960-01-01T00:00:00.000)"
//   duration     "P1Y2M10DT2H30M", "-P1Y", "PT2H30.500M", "P0D" (all absent)
//   single unit  "PT36H", "PT36.500H", "P2W", "-PT90S"
std::string entity_text(const PackedEntity &e);

// Hexadecimal digits (either letter case) into bytes: exactly 2 * n digits,
// nothing else. False on any other text.
bool parse_hex(std::string_view text, uint8_t *out, size_t n);

// Text of 16 or 32 hexadecimal digits: one entity, or an interval shown as
// its two parts joined by '/' ("2011-01-01/P1M"; a missing interval is ".").
// Text of anything else, or of bytes that decode_entity refuses, is an
// empty string, with the reason in *why.
std::string packed_text(std::string_view hex, std::string *why = nullptr);

}  // namespace zbhost
