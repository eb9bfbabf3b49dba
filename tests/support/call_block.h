// The call block of one reader call, built the one way the tests, the fuzz
// targets, the benchmark and the tools build it.
#pragma once

#include <cstdint>
#include <cstring>

#include "ifmblock.h"

namespace zbtest {

// A block as the host makes it for a reader: the field's width, available
// length and text, the target and its length, every other byte `fill`
// (0, as the host leaves them; another value checks that a reader ignores
// what it should not read).
inline ifmblock call_block(const char *input, int32_t width, int32_t avail, void *target,
                           int32_t target_len, uint8_t fill = 0) {
  ifmblock blk;
  std::memset(&blk, fill, sizeof blk);
  blk.width = width;
  blk.avail = avail;
  blk.input = input;
  blk.target = target;
  blk.target_len = target_len;
  return blk;
}

}  // namespace zbtest
