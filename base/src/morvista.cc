// Registration of the morvista informat family: the program-control-node record
// the host finds through mcn_pcns, the descriptor table and the module entry.
// The same readers as zelbrant's first six, under the original names and with
// smaller minimum widths.
#include "basic.h"
#include "diag.h"
#include "registration.h"

ZB_API void *morvista(int32_t request);

extern "C" {
ZB_VISIBLE extern const pcn_record pcn_MORVISTA = make_pcn("morvista", morvista, 0x2053ACB1);
ZB_HIDDEN extern const pcn_record zb_own_pcn __attribute__((alias("pcn_MORVISTA")));
ZB_HIDDEN extern const char zb_slot_key[] = "__FMT_MORVISTA";  // task slot key
}

namespace {

constexpr informat_row kRows[] = {
    // name        reader   min  max  default  decimals
    {"@ND8601DA", b8601da, 4, 10, 10, 0},
    {"@ND8601TM", b8601tm, 2, 15, 8, 6},
    {"@ND8601TZ", b8601tz, 7, 20, 14, 6},
    {"@ND8601DT", b8601dt, 4, 26, 19, 6},
    {"@ND8601DZ", b8601dz, 15, 35, 26, 6},
    {"@ND8601DN", b8601dn, 4, 10, 10, 0},
};
constexpr informat_family kFamily = make_family(kRows);

}  // namespace

// Module entry: request 1 gives the descriptor block (6 informats), request 2
// the reader table in descriptor order, any other request null.
ZB_API void *morvista(int32_t request) { return family_entry(kFamily, request); }
