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

// The eight readers above in registration order (module-local).
constexpr int32_t kBasicReaders = 8;
ZB_HIDDEN extern void *const zb_basic_readers[kBasicReaders];
