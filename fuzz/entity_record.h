// The entity record as the modules lay it out, under their own name, so that
// calls through routine pointers have the routines' exact types.
#pragma once

#include <cstdint>

struct iso_entity {
  double datetime;
  int64_t year, month, day, hour, minute, second, fraction;
  uint8_t packed[8];
  uint8_t absent, is_datetime, is_anchor, weeks, unit, negative, days_kept, pad;
};
static_assert(sizeof(iso_entity) == 80);
