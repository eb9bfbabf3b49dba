// Locale-driven calendar routines.
#pragma once

#include <stdint.h>

#include "module.h"

// Return codes: ZIFM_* of ifmblock.h.
ZB_API uint32_t zifmymd(ifmblock *blk);
ZB_API int32_t zifmgmd(task_context *task, const char *text, int32_t len, double *first,
                       double *second, double *third);
ZB_API uint32_t zifmtim(ifmblock *blk);
