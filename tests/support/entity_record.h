// The ISO entity record as a caller lays it out, the one copy for the tests,
// the fuzz targets and the tools. It is declared apart from the modules'
// own header but under their name, at global scope, so that a pointer to a
// routine taking it has the routine's exact type: the clang sanitizer build
// checks the type of every call made through a pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct iso_entity {
  double datetime;  // host datetime (datetimes only)
  int64_t year, month, day, hour, minute, second;
  int64_t fraction;  // thousandths of the smallest component given
  uint8_t packed[8];
  uint8_t absent;  // a bit per component not given, 0x80 the year .. 0x02 the fraction
  uint8_t is_datetime, is_anchor, weeks, unit, negative, days_kept;
  uint8_t pad;
};
static_assert(sizeof(iso_entity) == 80);
static_assert(std::is_standard_layout_v<iso_entity> && std::is_trivially_copyable_v<iso_entity>);
static_assert(offsetof(iso_entity, datetime) == 0);
static_assert(offsetof(iso_entity, year) == 8);
static_assert(offsetof(iso_entity, fraction) == 56);
static_assert(offsetof(iso_entity, packed) == 64);
static_assert(offsetof(iso_entity, absent) == 72);
static_assert(offsetof(iso_entity, is_datetime) == 73);
static_assert(offsetof(iso_entity, is_anchor) == 74);
static_assert(offsetof(iso_entity, weeks) == 75);
static_assert(offsetof(iso_entity, unit) == 76);
static_assert(offsetof(iso_entity, negative) == 77);
static_assert(offsetof(iso_entity, days_kept) == 78);
