// Registration of the zelbrant informat family: the program-control-node record
// the host finds through mcn_pcns, the descriptor table and the module entry.
#include "basic.h"
#include "diag.h"
#include "registration.h"

ZB_API void *zelbrant(int32_t request);

extern "C" {
ZB_VISIBLE extern const pcn_record pcn_ZELBRANT = make_pcn("zelbrant", zelbrant, 0x12D80C);
ZB_HIDDEN extern const pcn_record zb_own_pcn __attribute__((alias("pcn_ZELBRANT")));
ZB_HIDDEN extern const char zb_slot_key[] = "__FMT_ZELBRANT";  // task slot key
}

namespace {

constexpr informat_row kRows[] = {
    // name       reader   min  max  default  decimals
    {"@B8601DA", b8601da, 8, 10, 10, 0},
    {"@B8601TM", b8601tm, 6, 15, 8, 6},
    {"@B8601TZ", b8601tz, 7, 20, 14, 6},
    {"@B8601DT", b8601dt, 14, 26, 19, 6},
    {"@B8601DZ", b8601dz, 15, 35, 26, 6},
    {"@B8601DN", b8601dn, 8, 10, 10, 0},
    {"@B8601DJ", b8601dj, 10, 26, 16, 6},
    {"@B8601CI", b8601ci, 10, 26, 16, 6},
};
constexpr informat_family kFamily = make_family(kRows);

}  // namespace

// Module entry: request 1 gives the descriptor block (8 informats), request 2
// the reader table in descriptor order, any other request null.
ZB_API void *zelbrant(int32_t request) { return family_entry(kFamily, request); }
