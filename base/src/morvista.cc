// Registration of the morvista informat family: the program-control-node record
// the host finds through mcn_pcns, the descriptor table and the module entry.
// The same readers as zelbrant's first six, under the original names and with
// smaller minimum widths.
#include "diag.h"
#include "registration.h"

ZB_API void *morvista(int32_t request);

extern "C" {
ZB_VISIBLE extern const pcn_record pcn_MORVISTA = make_pcn("morvista", morvista, 0x2053ACB1);
ZB_HIDDEN extern const pcn_record zb_own_pcn __attribute__((alias("pcn_MORVISTA")));
ZB_HIDDEN extern const char zb_slot_key[] = "__FMT_MORVISTA";  // task slot key
}

namespace {

constexpr auto kFamily = catalog_family<&catalog_slot::morvista>();
static_assert(sizeof kFamily.readers / sizeof kFamily.readers[0] == 6);

}  // namespace

// Module entry: request 1 gives the descriptor block (6 informats), request 2
// the reader table in descriptor order, any other request null.
ZB_API void *morvista(int32_t request) { return family_entry(kFamily, request); }
