// The results of entity readers (durations, datetimes, intervals read into
// packed ISO entities in a character target) as isoread prints them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace isoread {

// What an entity reader left in its target; the target belongs to the
// caller.
struct EntityResult {
  uint32_t rc = 0;  // the reader's return: 0 or a problem code
  uint32_t status = 0;
  bool untouched = false;
  const char *target = nullptr;
  size_t target_len = 0;

  // What the target holds: the status word's count of characters.
  std::string_view text() const;
  // The target holds the missing entity (all F digits).
  bool missing() const;
};

// Output room render_entity_* needs.
size_t entity_room(const EntityResult &r);
// "HEX DECODED", "?" (target not written) or "!CODE MESSAGE [TARGET]".
char *render_entity_text(char *p, const EntityResult &r);
// The JSON members from "error" on: "error", "status", "value" (the target
// text), "decoded", "untouched", and the closing brace.
char *render_entity_json(char *p, const EntityResult &r);

}  // namespace isoread
