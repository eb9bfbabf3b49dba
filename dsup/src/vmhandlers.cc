// Allocator calls: the first operation of a host allocator allocates, the
// second frees.
#include "module.h"

ZB_API void *vmalcp_handler(host_allocator *a, size_t size, uint32_t flags) {
  return a->alloc(a, size, flags);
}

ZB_API void *vmalloc_handler(host_allocator *a, size_t size, uint32_t flags) {
  return a->alloc(a, size, flags);
}

ZB_API void vmfree_handler(host_allocator *a, void *block, int32_t zero, uint32_t flags) {
  a->free(a, block, zero, flags);
}
