// Registration of the morvista informat family: the program-control-node record
// the host finds through mcn_pcns, the descriptor table and the module entry.
// The same readers as zelbrant's first six, under the original names and with
// smaller minimum widths.
#include "basic.h"
#include "module.h"
#include "diag.h"
#include "records.h"

ZB_API void *morvista(int32_t request);

extern "C" {
ZB_VISIBLE extern const pcn_record pcn_MORVISTA = {
    {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x400, 0x400, "morvista", morvista, 1, 0x25D3,
    0x2053ACB1, 15,
};
ZB_HIDDEN extern const pcn_record zb_own_pcn __attribute__((alias("pcn_MORVISTA")));
ZB_HIDDEN extern const char zb_slot_key[] = "__FMT_MORVISTA";  // task slot key
}

namespace {

constexpr int32_t kCount = 6;  // the first six readers

// Name, three zeros, minimum, maximum and default width, two zeros, decimal
// places (6 where a time of day is read), two zeros.
const fmtitem fmtitems[kCount] = {
    {"@ND8601DA", 0, 0, 0, 4, 10, 10, 0, 0, 0, 0, 0},
    {"@ND8601TM", 0, 0, 0, 2, 15, 8, 0, 0, 6, 0, 0},
    {"@ND8601TZ", 0, 0, 0, 7, 20, 14, 0, 0, 6, 0, 0},
    {"@ND8601DT", 0, 0, 0, 4, 26, 19, 0, 0, 6, 0, 0},
    {"@ND8601DZ", 0, 0, 0, 15, 35, 26, 0, 0, 6, 0, 0},
    {"@ND8601DN", 0, 0, 0, 4, 10, 10, 0, 0, 0, 0, 0},
};

}  // namespace

// Module entry: request 1 gives the descriptor block (6 informats), request 2
// the reader table in descriptor order, any other request null.
ZB_API void *morvista(int32_t request) {
  if (request == 1) return xfmfent(1, kCount, fmtitems, nullptr);
  if (request == 2) return xfmfent(2, kCount, nullptr, zb_basic_readers);
  return nullptr;
}
