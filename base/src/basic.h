// Basic-notation informats: the registered readers.
#pragma once

#include <stdint.h>

#include "module.h"

ZB_API uint32_t b8601tm(ifmblock *blk);
ZB_API uint32_t b8601tz(ifmblock *blk);
ZB_API uint32_t b8601da(ifmblock *blk);
ZB_API uint32_t b8601dn(ifmblock *blk);
ZB_API uint32_t b8601dt(ifmblock *blk);
ZB_API uint32_t b8601dz(ifmblock *blk);
ZB_API uint32_t b8601dj(ifmblock *blk);
ZB_API uint32_t b8601ci(ifmblock *blk);

