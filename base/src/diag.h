// Per-task slot and problem diagnostics.
#pragma once

#include <stdint.h>

#include "module.h"

ZB_API void uwxn8601_init(void);
ZB_API int32_t uwxn8601_term(void);
ZB_API const char *get_gmt_offsetc(const ifmblock *blk);
ZB_API uint32_t n8601prob(ifmblock *blk, int32_t fill, int32_t code);

// The name the task slot is bound under. Each deliverable defines its own
// ("__FMT_ZELBRANT", "__FMT_MORVISTA") beside its registration, so the two
// libraries never share a slot although they share this code.
#define ZB_SLOT_KEY_LEN 14
extern "C" ZB_HIDDEN const char zb_slot_key[ZB_SLOT_KEY_LEN + 1];
