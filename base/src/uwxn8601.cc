// Per-task slot and problem diagnostics: one small record per host task,
// bound in the task's name table under the deliverable's own key, holding the
// diagnostic switch, one marker per problem code and the local GMT offset as
// text; and n8601prob, which turns a problem code into a line in the log.
//
// Slot layout (34 bytes from the name table's allocator): byte 0 the switch
// (1 = on), byte i for i in 1..27 the marker of problem code i, bytes 28..33
// the offset text such as "+05:30" (no NUL).
#include "diag.h"

#include <string.h>

#include "fstring.h"
#include "problems.h"

namespace {

constexpr size_t kSlotSize = 34;
constexpr uint32_t kSlotAllocFlags = 0x3006;
constexpr uint32_t kSlotFreeFlags = 4;
constexpr size_t kSwitch = 0;
constexpr int32_t kLastCode = PROB_LAST;  // markers are bytes 1..kLastCode
constexpr size_t kOffset = 28;
constexpr size_t kOffsetLen = 6;
static_assert(kOffset == kLastCode + 1 && kOffset + kOffsetLen == kSlotSize);

constexpr char kNoOffset[kOffsetLen + 1] = "      ";
constexpr char kDiagWord[] = "N8601DIAG";
constexpr int32_t kDiagLen = sizeof kDiagWord - 1;

name_table *names_of(task_context *t) { return t ? t->names : nullptr; }

// What a lookup of the slot key found: the host's answer, the handle, whether
// the handle's entry could be reached, and the slot stored there (null when
// none is).
struct lookup {
  uint32_t rc = XYTNGL_UNBOUND;
  uint32_t handle = 0;
  bool entry = false;
  uint8_t *slot = nullptr;
};

lookup find_slot(name_table *names) {
  lookup r;
  name_pages table = nullptr;
  r.rc = xytngl(names, 0, zb_slot_key, ZB_SLOT_KEY_LEN, &r.handle, &table);
  if (r.rc != 0 || !table) return r;
  void **page = table[r.handle >> 16];
  if (!page) return r;
  r.entry = true;
  r.slot = static_cast<uint8_t *>(page[r.handle & 0xFFFF]);
  return r;
}

// The slot of a task's name table, or null: not bound, released, or no table.
uint8_t *slot_of(task_context *t) {
  name_table *names = names_of(t);
  return names ? find_slot(names).slot : nullptr;
}

// A zeroed slot stored under handle, or null: no memory, or the host would
// not store it (the block then goes straight back).
uint8_t *new_slot(name_table *names, uint32_t handle) {
  void *p = names->alloc ? vmalcp_handler(names->alloc, kSlotSize, kSlotAllocFlags) : nullptr;
  if (!p) return nullptr;
  memset(p, 0, kSlotSize);
  if (wtrsset(names, handle, p) != 0) {
    vmfree_handler(zb_gcb()->pool, p, 0, kSlotFreeFlags);
    return nullptr;
  }
  return static_cast<uint8_t *>(p);
}

// First use in a task: the host is to call uwxn8601_term when the task ends;
// an entry is made, the key bound to it and the slot stored under it. Each
// step needs the one before: without the registration the slot would outlive
// the task, and without an entry of its own the key would be bound to
// whatever handle the host left unfilled.
uint8_t *create_slot(name_table *names) {
  uint64_t token = 0;
  uint32_t handle = 0;
  if (vir2g(uwxn8601_term, &token, names, v_global_pidb_anchor) != 0) return nullptr;
  if (wtrscrt(names, &handle, 0, token) != 0) return nullptr;
  if (xytnsl(names, 1, zb_slot_key, ZB_SLOT_KEY_LEN, handle) != 0) return nullptr;
  return new_slot(names, handle);
}

// Turns the switch on when the DEBUG option holds N8601DIAG in any case.
// Never turns it off: once on, it stays on for the life of the slot.
void read_debug_option(uint8_t *slot) {
  int32_t status = -1;
  const char *value = xoptcgt("DEBUG", &status);
  if (status != 0 || !value) return;
  int32_t len = wzstlen(value);
  for (int32_t i = 0; len - i >= kDiagLen; ++i) {
    if (zb_upper(static_cast<unsigned char>(value[i])) == 'N' &&
        wzbcup(value + i, kDiagWord, kDiagLen) == 0) {
      slot[kSwitch] = 1;
      return;
    }
  }
}

void two_digits(char *out, int32_t v) {
  out[0] = static_cast<char>('0' + v / 10);
  out[1] = static_cast<char>('0' + v % 10);
}

// Writes the local offset from GMT as +hh:mm, truncated to whole seconds and
// then to whole minutes. An offset no clock has (not a number, or 100 hours
// or more) is held to 0 or to +-99:59 so the text stays six characters.
void write_offset(char *out) {
  constexpr double kMax = 99 * 3600 + 59 * 60 + 59;
  double gmt = 0;
  wzdtgmt(&gmt);
  if (gmt != gmt) gmt = 0;
  if (gmt > kMax) gmt = kMax;
  if (gmt < -kMax) gmt = -kMax;
  int32_t s = static_cast<int32_t>(gmt);  // toward zero
  int32_t a = s < 0 ? -s : s;
  out[0] = s >= 0 ? '+' : '-';
  two_digits(out + 1, a / 3600);
  out[3] = ':';
  two_digits(out + 4, a % 3600 / 60);
}

// The field form of a log line. The field is not NUL-terminated: the host's
// formatter reads at most the given length for %*s, so that length must not
// exceed the field. A field with no text or a negative length shows as ''.
// The line quotes the field's window, min(width, available length): the bytes
// past the width belong to the rest of the record and may not be readable.
void log_field(const ifmblock *blk, const char *message) {
  int32_t n = blk && blk->input ? zb_window(blk) : 0;
  xpslog("Problem with: '%*s': %s.", n, n > 0 ? blk->input : "", message);
}

void report(uint8_t *slot, const ifmblock *blk, int32_t code) {
  const bool known = code >= 1 && code <= kLastCode;
  const problem_report &p = problem_of(code);
  if (known) {
    if (p.once && slot[code]) return;
    slot[code] = 1;
  }
  if (p.field)
    log_field(blk, p.message);
  else
    xpslog("Problem with formatting: %s.", p.message);
}

// n = min(width, target length), never negative: the status word gets n and
// the first n bytes of the target get the marker character.
void fill_target(ifmblock *blk, int32_t fill) {
  int32_t n = blk->width < blk->target_len ? blk->width : blk->target_len;
  if (n < 0) n = 0;
  blk->status = static_cast<uint32_t>(n);
  if (n > 0 && blk->target) memset(blk->target, fill == 1 ? '*' : 'F', static_cast<size_t>(n));
}

}  // namespace

// uwxn8601_init(): finds or creates the current task's slot, turns its switch
// on when the DEBUG option asks for diagnostics, clears every problem marker
// and rewrites the offset text. When the lookup gives an answer other than
// bound or unbound, or no slot can be made (no memory, or the host refuses a
// step), nothing is written and later calls act as if there were no slot.
ZB_API void uwxn8601_init(void) {
  name_table *names = names_of(zb_current_task());
  if (!names) return;
  lookup found = find_slot(names);
  uint8_t *slot = found.slot;
  if (found.rc == XYTNGL_UNBOUND)
    slot = create_slot(names);
  else if (found.rc == 0 && found.entry && !slot)
    // Bound to no slot (released, or its allocation failed): a new slot under
    // the same entry; the termination routine is registered already.
    slot = new_slot(names, found.handle);
  if (!slot) return;
  read_debug_option(slot);
  memset(slot + 1, 0, kLastCode);
  write_offset(reinterpret_cast<char *>(slot + kOffset));
}

// uwxn8601_term(): releases the current task's slot, if it has one; returns 0.
// The host calls it when the task ends. The module itself clears the entry
// (the key stays bound, to no slot) before the memory goes back, so no later
// call in the task can reach the released slot; if the host refuses to clear
// it, the slot is kept rather than left reachable after release.
ZB_API int32_t uwxn8601_term(void) {
  name_table *names = names_of(zb_current_task());
  if (!names) return 0;
  lookup found = find_slot(names);
  if (found.rc != 0 || !found.slot) return 0;
  if (wtrsset(names, found.handle, nullptr) != 0) return 0;
  vmfree_handler(zb_gcb()->pool, found.slot, 0, kSlotFreeFlags);
  return 0;
}

// get_gmt_offsetc(blk): the six-character offset text ("+05:30") of the slot
// of the block's task (the GCB's current task when the block names none), or
// six blanks when that task has no slot. Not NUL-terminated.
ZB_API const char *get_gmt_offsetc(const ifmblock *blk) {
  task_context *t = blk && blk->task ? blk->task : zb_current_task();
  uint8_t *slot = slot_of(t);
  return slot ? reinterpret_cast<const char *>(slot + kOffset) : kNoOffset;
}

// n8601prob(blk, fill, code): code 0 returns 0 and does nothing else. Any
// other code is logged when the current task's slot has diagnostics on
// (22 and 24 once per slot until the next init); then the first
// min(width, target length) bytes of the target are filled with '*' (fill 1)
// or 'F' (any other fill), that count is stored in the status word, and the
// result is 0x8001D825.
ZB_API uint32_t n8601prob(ifmblock *blk, int32_t fill, int32_t code) {
  if (code == 0) return 0;
  uint8_t *slot = slot_of(zb_current_task());
  if (slot && slot[kSwitch]) report(slot, blk, code);
  if (blk) fill_target(blk, fill);
  return IFM_PROBLEM;
}
