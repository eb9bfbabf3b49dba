// Registration of the zelbrant informat family: the program-control-node record
// the host finds through mcn_pcns, and the module entry it points at.
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

// Module entry (registration comes with the basic readers).
ZB_API void *zelbrant(int32_t request) {
  (void)request;
  return nullptr;
}
