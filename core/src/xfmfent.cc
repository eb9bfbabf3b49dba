// Builds the two results of the module entry from the registration allocator.
#include <string.h>

#include "module.h"
#include "records.h"

namespace {
constexpr uint32_t kRegFlags = 0x2006;
constexpr int32_t kNoMemory = 1016;
}  // namespace

// xfmfent(request, count, table, readers):
//   request 1: a 16-byte descriptor block {count, -, table};
//   request 2: an 8-byte header word (left as allocated) and count readers;
//   any other request: null, nothing allocated.
// On allocation failure xexit(1016, 0) is called; if it returns, null.
ZB_API void *xfmfent(int32_t request, int32_t count, const void *table,
                     void *const *readers) {
  if (request != 1 && request != 2) return nullptr;
  host_allocator *a = zb_gcb()->reg_alloc;
  if (request == 1) {
    auto *blk = static_cast<descriptor_block *>(vmalcp_handler(a, 16, kRegFlags));
    if (!blk) {
      xexit(kNoMemory, 0);
      return nullptr;
    }
    blk->count = count;
    blk->items = static_cast<const fmtitem *>(table);
    return blk;
  }
  size_t n = count > 0 ? static_cast<size_t>(count) : 0;
  auto *tab = static_cast<reader_table *>(vmalcp_handler(a, 8 * n + 8, kRegFlags));
  if (!tab) {
    xexit(kNoMemory, 0);
    return nullptr;
  }
  if (n) memcpy(tab->readers, readers, n * sizeof(void *));
  return tab;
}
