// Per-task slot and problem diagnostics.
#pragma once

#include <stdint.h>

#include "module.h"

ZB_API void uwxn8601_init(void);
ZB_API int32_t uwxn8601_term(void);
ZB_API const char *get_gmt_offsetc(const ifmblock *blk);
ZB_API uint32_t n8601prob(ifmblock *blk, int32_t fill, int32_t code);
