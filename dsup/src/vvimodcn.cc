// Load-time entry and the anchors it keeps for every later call into the host.
#include "module.h"
#include "records.h"

extern "C" {
ZB_VISIBLE gcb *v_global_gcb_anchor = nullptr;
ZB_VISIBLE void *v_global_pidb_anchor = nullptr;
ZB_VISIBLE void *Exported_QJHandle = nullptr;

// Defined by each deliverable's build record.
ZB_VISIBLE extern const vi_mcn_record vi_mcn;
}

// Host-dependent module initialisation; nothing to do on this platform.
ZB_API void himodcn(void) {}

// mcn_main(gcb, pidb): keeps both anchors, runs the host hook, copies the
// runtime handle and returns the image-information record. The host calls it
// before anything else; calling it again overwrites the anchors.
ZB_API const vi_mcn_record *mcn_main(gcb *g, void *pidb) {
  v_global_gcb_anchor = g;
  v_global_pidb_anchor = pidb;
  himodcn();
  Exported_QJHandle = g ? g->runtime_handle : nullptr;
  return &vi_mcn;
}
