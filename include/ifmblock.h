// The informat call block: the record the host passes to every reader and that
// readers build for one another on their stack. Layout is fixed (x86-64,
// little-endian) because the host fills it by offset.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

struct task_context;

typedef struct ifmblock {
  int32_t width;              // 0   field width
  int32_t decimals;           // 4   checked only by the calendar routines
  const char *input;          // 8   field text, not NUL-terminated
  int32_t avail;              // 16  bytes available from input
  int32_t reserved20;         // 20
  void *target;               // 24  double, or a character buffer
  int32_t target_len;         // 32  character informats only
  uint32_t status;            // 36  8 = missing notation; chars stood for
  uint8_t reserved40[8];      // 40  not used by the module
  struct task_context *task;  // 48  null: the GCB's current task
  uint8_t flags;              // 56  bit 0: validate width and decimals
  uint8_t reserved57[23];     // 57..79 not read by the module
} ifmblock;

typedef uint32_t (*ifm_reader)(ifmblock *blk);

// Return codes shared by host and module.
#define IFM_OK 0u
#define IFM_MALFORMED 1u               // inner routines: malformed text
#define IFM_INVALID_DATA 0x8001d819u   // basic readers' rejection, bad zone
#define IFM_BAD_DATE 0x8001d814u       // malformed date or datetime
#define IFM_NO_FIT 0x8000200du         // number does not fit its field
#define IFM_PROBLEM 0x8001d825u        // n8601prob

// Return codes of the calendar routines.
#define ZIFM_WIDTH_LOW 0x80002027u     // width below the routine's minimum
#define ZIFM_WIDTH_HIGH 0x80002028u    // width above 32
#define ZIFM_DEC_LOW 0x80002029u       // decimals below 0
#define ZIFM_DEC_HIGH 0x8000202au      // decimals above 31
#define ZIFM_SHORT 0x8001d827u         // window under 5 bytes
#define ZIFM_BAD_TIME 0x8001d819u      // unreadable time (the invalid-data code)
#define ZIFM_BAD_HOURS 0x8001d81au
#define ZIFM_NO_MINUTES 0x8001d81bu
#define ZIFM_BAD_MINUTES 0x8001d81cu
#define ZIFM_BAD_SUFFIX 0x8001d821u    // not A/P, AM/PM
#define IFM_FLAG_VALIDATE 0x01u

// The missing value: a double whose top 16 bits are all ones.
#define IFM_MISSING_BITS 0xFFFFFE0000000000ull

static inline double ifm_missing(void) {
  uint64_t b = IFM_MISSING_BITS;
  double d;
  memcpy(&d, &b, sizeof d);
  return d;
}

static inline int ifm_is_missing(double d) {
  uint64_t b;
  memcpy(&b, &d, sizeof b);
  return (b >> 48) == 0xFFFFu;
}

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(ifmblock) == 80, "call block is 80 bytes");
static_assert(offsetof(ifmblock, width) == 0);
static_assert(offsetof(ifmblock, decimals) == 4);
static_assert(offsetof(ifmblock, input) == 8);
static_assert(offsetof(ifmblock, avail) == 16);
static_assert(offsetof(ifmblock, target) == 24);
static_assert(offsetof(ifmblock, target_len) == 32);
static_assert(offsetof(ifmblock, status) == 36);
static_assert(offsetof(ifmblock, reserved40) == 40);
static_assert(offsetof(ifmblock, task) == 48);
static_assert(offsetof(ifmblock, flags) == 56);
#endif
