// The entity readers (durations, datetimes, intervals into packed ISO
// entities in a character target) as isoread fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host.h"
#include "ifmblock.h"
#include "task.h"

namespace isoread {

using entity_reader = uint32_t (*)(ifmblock *, int32_t);
using problem_reporter = uint32_t (*)(ifmblock *, int32_t, int32_t);

struct EntityField {
  entity_reader reader = nullptr;
  problem_reporter report = nullptr;  // n8601prob; null when not exported
  int32_t width = -1;                 // -1: the rest of the record
  int32_t target_len = 16;
  int32_t mode = 0x100;
  int32_t fill = 0;  // n8601prob's fill selector: 0 'F', 1 '*'
  bool short_target = false;  // target_len below what the reader writes: it logs each call
  std::string display;
};

// Looks NAME ([$]NAME[W][.]) up among the entity readers: by routine name
// (is8601dui) or by the name of its messages ($IS860DU), any letter case.
// 1: found, *f filled; 0: no entity reader name; -1: *error set.
int lookup_entity(std::string_view name, const zbhost::Module &module, const TaskOptions &t,
                  EntityField *f, std::string *error);

struct EntityResult {
  uint32_t rc = 0;  // the reader's return: 0 or a problem code
  uint32_t status = 0;
  bool untouched = false;
  std::vector<char> target;

  // What the target holds: the status word's count of characters.
  std::string_view text() const;
  // The target holds the missing entity (all F digits).
  bool missing() const;
};

// Calls the reader on *blk (width, input and available length set) with a
// target of its own and, on a problem code, n8601prob the way a host does.
void call_entity(const EntityField &f, ifmblock *blk, EntityResult *r);

// Output room render_entity_* needs.
size_t entity_room(const EntityResult &r);
// "HEX DECODED", "?" (target not written) or "!CODE MESSAGE [TARGET]".
char *render_entity_text(char *p, const EntityResult &r);
// The JSON members from "error" on: "error", "status", "value" (the target
// text), "decoded", "untouched", and the closing brace.
char *render_entity_json(char *p, const EntityResult &r);

}  // namespace isoread
