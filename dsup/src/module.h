// What every module source shares: the export macro, the saved anchors, the
// host bindings and the allocator calls.
#pragma once

#include <stdint.h>
#include <string.h>

#include "gcb.h"
#include "ifmblock.h"

// Every routine the host may call or look up is exported under its C name;
// everything else stays hidden (the build sets -fvisibility=hidden).
#define ZB_VISIBLE __attribute__((visibility("default")))
#define ZB_HIDDEN __attribute__((visibility("hidden")))
#define ZB_API extern "C" ZB_VISIBLE

// Inlining forced where a reader's per-field path must not pay for a call,
// and refused where a rarely taken path would crowd the common one.
#define ZB_INLINE inline __attribute__((always_inline))
#define ZB_NOINLINE __attribute__((noinline))

// Seconds in a day: a host datetime is a host date times kDay plus a host time.
constexpr double kDay = 86400.0;

ZB_API gcb *v_global_gcb_anchor;
ZB_API void *v_global_pidb_anchor;
ZB_API void *Exported_QJHandle;

// The GCB saved by mcn_main; every call into the host goes through it.
static inline gcb *zb_gcb() { return v_global_gcb_anchor; }

// The host's character tables.
static inline bool zb_isdigit(unsigned char c) {
  return (zb_gcb()->ctype[c] & GCB_CTYPE_DIGIT) != 0;
}
static inline unsigned char zb_upper(unsigned char c) { return zb_gcb()->upcase[c]; }

// The current task context, read atomically: the host may switch it.
static inline task_context *zb_current_task() {
  return __atomic_load_n(&zb_gcb()->current_task, __ATOMIC_ACQUIRE);
}

// A double at a target that the host placed, read and written bytewise so
// that an oddly aligned target is no fault.
static inline double zb_load(const void *target) {
  double d;
  memcpy(&d, target, sizeof d);
  return d;
}
static inline void zb_store(void *target, double d) { memcpy(target, &d, sizeof d); }

// Window of a call block: min(width, available length), never negative.
static inline int32_t zb_window(const ifmblock *b) {
  int32_t n = b->width < b->avail ? b->width : b->avail;
  return n < 0 ? 0 : n;
}

// Host bindings (bind/src): each also exists as _name_V_S.
ZB_API int32_t vir2g(term_routine routine, uint64_t *token, name_table *names, void *pidb);
ZB_API int32_t wtrscrt(name_table *names, uint32_t *handle, int32_t zero, uint64_t token);
ZB_API int32_t wtrsset(name_table *names, uint32_t handle, void *ptr);
ZB_API int32_t xytnsl(name_table *names, int32_t one, const char *name, int32_t len,
                      uint32_t handle);
ZB_API uint32_t xytngl(name_table *names, int32_t zero, const char *name, int32_t len,
                       uint32_t *handle, name_pages *table);
ZB_API const char *xoptcgt(const char *name, int32_t *status);
ZB_API void xpslog(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
ZB_API void xexit(int32_t code, int32_t zero);
ZB_API void wzdtgmt(double *offset);
ZB_API int32_t wzifmch(const char *text, int32_t len, double *target);
ZB_API uint32_t wzifmn(ifmblock *blk);
ZB_API int32_t wzrlchr(const char *text, int32_t len, int32_t zero, int32_t *used,
                       int64_t *value);
ZB_API int32_t wzfmhc(const void *bytes, int32_t count, int32_t outlen, int32_t one, char *out);
ZB_API double zdatprt(double datetime);
ZB_API double zday(double date);
ZB_API double zdhms(double date, double hour, double minute, double second);
ZB_API double zhms(double hour, double minute, double second);
ZB_API double zhour(double t);
ZB_API double zjuldat(double date);
ZB_API double zmdy(double month, double day, double year);
ZB_API double zminute(double t);
ZB_API double zmonth(double date);
ZB_API double zsecond(double t);
ZB_API double ztimprt(double datetime);
ZB_API double zyear(double date);
ZB_API void zymdjul(double *year, double *month, double *day, double julian);

// Builds the results of the module entry (core/src): request 1 the descriptor
// block, request 2 the reader table.
ZB_API void *xfmfent(int32_t request, int32_t count, const void *table, void *const *readers);

// Allocator calls (dsup/src).
ZB_API void *vmalcp_handler(host_allocator *a, size_t size, uint32_t flags);
ZB_API void *vmalloc_handler(host_allocator *a, size_t size, uint32_t flags);
ZB_API void vmfree_handler(host_allocator *a, void *block, int32_t zero, uint32_t flags);
