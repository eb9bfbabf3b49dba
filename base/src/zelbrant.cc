// Registration of the zelbrant informat family: the program-control-node record
// the host finds through mcn_pcns, the descriptor table and the module entry.
#include "basic.h"
#include "module.h"
#include "diag.h"
#include "records.h"

ZB_API void *zelbrant(int32_t request);

extern "C" {
ZB_VISIBLE extern const pcn_record pcn_ZELBRANT = {
    {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x400, 0x400, "zelbrant", zelbrant, 1, 0x25D3,
    0x12D80C, 15,
};
ZB_HIDDEN extern const pcn_record zb_own_pcn __attribute__((alias("pcn_ZELBRANT")));
ZB_HIDDEN extern const char zb_slot_key[] = "__FMT_ZELBRANT";  // task slot key
}

namespace {

constexpr int32_t kCount = kBasicReaders;

// Name, three zeros, minimum, maximum and default width, two zeros, decimal
// places (6 where a time of day is read), two zeros.
const fmtitem fmtitems[kCount] = {
    {"@B8601DA", 0, 0, 0, 8, 10, 10, 0, 0, 0, 0, 0},
    {"@B8601TM", 0, 0, 0, 6, 15, 8, 0, 0, 6, 0, 0},
    {"@B8601TZ", 0, 0, 0, 7, 20, 14, 0, 0, 6, 0, 0},
    {"@B8601DT", 0, 0, 0, 14, 26, 19, 0, 0, 6, 0, 0},
    {"@B8601DZ", 0, 0, 0, 15, 35, 26, 0, 0, 6, 0, 0},
    {"@B8601DN", 0, 0, 0, 8, 10, 10, 0, 0, 0, 0, 0},
    {"@B8601DJ", 0, 0, 0, 10, 26, 16, 0, 0, 6, 0, 0},
    {"@B8601CI", 0, 0, 0, 10, 26, 16, 0, 0, 6, 0, 0},
};

}  // namespace

// Module entry: request 1 gives the descriptor block (8 informats), request 2
// the reader table in descriptor order, any other request null.
ZB_API void *zelbrant(int32_t request) {
  if (request == 1) return xfmfent(1, kCount, fmtitems, nullptr);
  if (request == 2) return xfmfent(2, kCount, nullptr, zb_basic_readers);
  return nullptr;
}
