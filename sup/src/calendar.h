// Locale-driven calendar routines.
#pragma once

#include <stdint.h>

#include "module.h"

// Host codes of the calendar routines.
#define ZIFM_WIDTH_LOW 0x80002027u
#define ZIFM_WIDTH_HIGH 0x80002028u
#define ZIFM_DEC_LOW 0x80002029u
#define ZIFM_DEC_HIGH 0x8000202au
#define ZIFM_SHORT 0x8001d827u
#define ZIFM_BAD_TIME 0x8001d819u
#define ZIFM_BAD_HOURS 0x8001d81au
#define ZIFM_NO_MINUTES 0x8001d81bu
#define ZIFM_BAD_MINUTES 0x8001d81cu
#define ZIFM_BAD_SUFFIX 0x8001d821u

ZB_API uint32_t zifmymd(ifmblock *blk);
ZB_API int32_t zifmgmd(task_context *task, const char *text, int32_t len, double *first,
                       double *second, double *third);
ZB_API uint32_t zifmtim(ifmblock *blk);
