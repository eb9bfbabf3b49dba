// The host's global control block (GCB) and the records hanging from it, as
// the modules see them. The stand-in host builds these; the modules only read
// them, except for the marker bytes and the service number that the host
// bindings write on every call.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "ifmblock.h"

#ifdef __cplusplus
extern "C" {
#endif

// An allocator: first operation allocates, second frees. The host embeds this
// as the first member of its own allocator objects.
typedef struct host_allocator host_allocator;
struct host_allocator {
  void *(*alloc)(host_allocator *self, size_t size, uint32_t flags);
  void (*free)(host_allocator *self, void *block, int32_t zero, uint32_t flags);
};

// Locale character tables: each entry nonzero for members of the set.
typedef struct locale_tables {
  uint8_t digit[256];      // decimal digits
  uint8_t run_end[256];    // characters that end a run of digits
  uint8_t token[256];      // characters that may start the part after minutes
  uint8_t separator[256];  // separators between date or time components
} locale_tables;

// Objects hang from a task context in a chain; the first one that carries a
// locale table set is the task's locale.
typedef struct task_object task_object;
struct task_object {
  task_object *next;
  uint32_t kind;                  // host's own classification
  uint32_t reserved;
  const locale_tables *tables;    // null when this object is no table set
};

// A task's name table. The module reads only its allocator; the rest is the
// host's. Entries are reached as pages[handle >> 16][handle & 0xFFFF].
typedef struct name_table {
  host_allocator *alloc;
  void *host_private;
} name_table;

typedef void **const *name_pages;  // what xytngl hands back as "the table"

typedef struct task_context {
  char eye[8];               // "TASKCTX"
  name_table *names;
  task_object *objects;      // chain; see task_object
  void *host_private;
} task_context;

typedef void (*gcb_entry)(void);

#define GCB_VECTORS 256

typedef struct gcb {
  char eye[8];                        // "GCB"
  gcb_entry *vectors[GCB_VECTORS];    // vectors[V][S]; null where unused
  uint8_t marks[GCB_VECTORS];         // marker byte of each vector
  uint64_t service;                   // V << 32 | S of the latest binding call
  host_allocator *reg_alloc;          // registration blocks (xfmfent)
  host_allocator *pool;               // what vmfree_handler releases to
  task_context *current_task;
  void *runtime_handle;
  uint8_t upcase[256];                // upper-case form of each byte
  uint8_t ctype[256];                 // character classes
} gcb;

#define GCB_CTYPE_DIGIT 0x04u

// Vector and slot of every service.
#define SVC_VIR2G 0, 76
#define SVC_WTRSCRT 0, 190
#define SVC_WTRSSET 0, 192
#define SVC_WZDTGMT 0, 290
#define SVC_WZFMHC 0, 293
#define SVC_WZIFMCH 0, 302
#define SVC_WZIFMN 0, 305
#define SVC_WZRLCHR 0, 320
#define SVC_XEXIT 30, 4
#define SVC_XOPTCGT 30, 41
#define SVC_XPSLOG 30, 89
#define SVC_XYTNSL 30, 164
#define SVC_XYTNGL 30, 166
#define SVC_ZDATPRT 155, 3
#define SVC_ZDAY 155, 5
#define SVC_ZDHMS 155, 6
#define SVC_ZHMS 155, 7
#define SVC_ZHOUR 155, 8
#define SVC_ZJULDAT 155, 9
#define SVC_ZMDY 155, 11
#define SVC_ZMINUTE 155, 12
#define SVC_ZMONTH 155, 13
#define SVC_ZSECOND 155, 15
#define SVC_ZTIMPRT 155, 17
#define SVC_ZYEAR 155, 20
#define SVC_ZYMDJUL 155, 21

// Sizes of the vectors the stand-in host fills (one past the highest slot).
#define GCB_VEC0_SLOTS 321
#define GCB_VEC30_SLOTS 167
#define GCB_VEC155_SLOTS 22

#define XYTNGL_UNBOUND 0x80008026u

// The signature of each host entry. The module's bindings call these with the
// caller's arguments unchanged (xpslog receives them as a va_list).
typedef int32_t (*term_routine)(void);
typedef int32_t (*svc_vir2g)(term_routine routine, uint64_t *token, name_table *names,
                             void *pidb);
typedef int32_t (*svc_wtrscrt)(name_table *names, uint32_t *handle, int32_t zero,
                               uint64_t token);
typedef int32_t (*svc_wtrsset)(name_table *names, uint32_t handle, void *ptr);
typedef int32_t (*svc_xytnsl)(name_table *names, int32_t one, const char *name, int32_t len,
                              uint32_t handle);
typedef uint32_t (*svc_xytngl)(name_table *names, int32_t zero, const char *name, int32_t len,
                               uint32_t *handle, name_pages *table);
typedef const char *(*svc_xoptcgt)(const char *name, int32_t *status);
typedef void (*svc_xpslog)(const char *fmt, va_list ap);
typedef void (*svc_xexit)(int32_t code, int32_t zero);
typedef void (*svc_wzdtgmt)(double *offset);
typedef int32_t (*svc_wzifmch)(const char *text, int32_t len, double *target);
typedef uint32_t (*svc_wzifmn)(ifmblock *blk);
typedef int32_t (*svc_wzrlchr)(const char *text, int32_t len, int32_t zero, int32_t *used,
                               int64_t *value);
typedef int32_t (*svc_wzfmhc)(const void *bytes, int32_t count, int32_t outlen, int32_t one,
                              char *out);
typedef double (*svc_d1)(double);
typedef double (*svc_d3)(double, double, double);
typedef double (*svc_d4)(double, double, double, double);
typedef void (*svc_zymdjul)(double *year, double *month, double *day, double julian);

#ifdef __cplusplus
}  // extern "C"
static_assert(offsetof(ifmblock, task) == 48);
#endif
