// The null-terminated list of program-control-node records the host walks.
#include "module.h"
#include "records.h"

// Each deliverable's registration defines its own record under this name too.
extern "C" {
ZB_HIDDEN extern const pcn_record zb_own_pcn;

ZB_VISIBLE extern const void *const mcn_pcns[2] = {&zb_own_pcn, nullptr};
}
