// Registration of the zelbrant informat family: the program-control-node record
// the host finds through mcn_pcns, the descriptor table and the module entry.
#include "diag.h"
#include "registration.h"

ZB_API void *zelbrant(int32_t request);

extern "C" {
ZB_VISIBLE extern const pcn_record pcn_ZELBRANT = make_pcn("zelbrant", zelbrant, 0x12D80C);
ZB_HIDDEN extern const pcn_record zb_own_pcn __attribute__((alias("pcn_ZELBRANT")));
ZB_HIDDEN extern const char zb_slot_key[] = "__FMT_ZELBRANT";  // task slot key
}

namespace {

constexpr auto kFamily = catalog_family<&catalog_slot::zelbrant>();
static_assert(sizeof kFamily.readers / sizeof kFamily.readers[0] == 8);

}  // namespace

// Module entry: request 1 gives the descriptor block (8 informats), request 2
// the reader table in descriptor order, any other request null.
ZB_API void *zelbrant(int32_t request) { return family_entry(kFamily, request); }
