// Records the host reads from a module by layout.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VI_MCN_MARKER "QOR_Image_Information="
#define VI_MCN_MAGIC 0xB0BDEBEDu

// Image-information record returned by mcn_main.
typedef struct vi_mcn_record {
  char marker[24];            // 0
  uint32_t magic;             // 24
  uint32_t zero;              // 28
  int64_t eight;              // 32
  char release[6];            // 40  "d.dd"
  char build_id[20];          // 46  release.mmLLLmmddyy (16 chars)
  char build_date[30];        // 66  "Mon dd yyyy" (11 chars)
  const void *pcns;           // 96  -> mcn_pcns
  const char *copyright;      // 104 88 characters, leading blank
  char tail[8];               // 112 "001"
} vi_mcn_record;

// Program-control-node record: names the module and points at its entry.
typedef void *(*module_entry)(int32_t request);
typedef struct pcn_record {
  uint8_t lead[8];            // 0   00 00 FF FF FF FF FF FF
  int64_t c8;                 // 8   0x400
  int64_t c16;                // 16  0x400
  char name[16];              // 24  lower-case module name
  module_entry entry;         // 40
  int64_t c48;                // 48  1
  int64_t c56;                // 56  0x25D3
  int64_t particular;         // 64  per deliverable
  int64_t c72;                // 72  15
} pcn_record;

// One informat descriptor of the registration table (54 bytes, packed).
typedef struct __attribute__((packed)) fmtitem {
  char name[32];              // 0  "@NAME", NUL-padded
  int16_t z32, z34, z36;      // 32..37
  int16_t min_width;          // 38
  int16_t max_width;          // 40
  int16_t default_width;      // 42
  int16_t z44, z46;           // 44..47
  int16_t decimals;           // 48
  int16_t z50, z52;           // 50..53
} fmtitem;

// Result of module-entry request 1.
typedef struct descriptor_block {
  int32_t count;              // 0
  uint32_t untouched;         // 4  left as the allocator returned it
  const fmtitem *items;       // 8
} descriptor_block;

// Result of module-entry request 2: a header word, then count readers.
typedef struct reader_table {
  uint64_t header;            // 0  left as the allocator returned it
  void *readers[];            // 8  count reader pointers
} reader_table;

#define INFO_SLOTS 26

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(vi_mcn_record) == 120);
static_assert(offsetof(vi_mcn_record, magic) == 24);
static_assert(offsetof(vi_mcn_record, zero) == 28);
static_assert(offsetof(vi_mcn_record, eight) == 32);
static_assert(offsetof(vi_mcn_record, release) == 40);
static_assert(offsetof(vi_mcn_record, build_id) == 46);
static_assert(offsetof(vi_mcn_record, build_date) == 66);
static_assert(offsetof(vi_mcn_record, pcns) == 96);
static_assert(offsetof(vi_mcn_record, copyright) == 104);
static_assert(offsetof(vi_mcn_record, tail) == 112);

static_assert(sizeof(pcn_record) == 80);
static_assert(offsetof(pcn_record, c8) == 8);
static_assert(offsetof(pcn_record, c16) == 16);
static_assert(offsetof(pcn_record, name) == 24);
static_assert(offsetof(pcn_record, entry) == 40);
static_assert(offsetof(pcn_record, c48) == 48);
static_assert(offsetof(pcn_record, c56) == 56);
static_assert(offsetof(pcn_record, particular) == 64);
static_assert(offsetof(pcn_record, c72) == 72);

static_assert(sizeof(fmtitem) == 54);
static_assert(offsetof(fmtitem, min_width) == 38);
static_assert(offsetof(fmtitem, max_width) == 40);
static_assert(offsetof(fmtitem, default_width) == 42);
static_assert(offsetof(fmtitem, decimals) == 48);

static_assert(sizeof(descriptor_block) == 16);
static_assert(offsetof(descriptor_block, items) == 8);
static_assert(offsetof(reader_table, readers) == 8);
#endif
