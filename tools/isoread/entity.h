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
// The JSON members after "status": "packed" (the target text), "decoded",
// "form" and the components ("sign" .. "thousandths"; of an interval's
// duration, after its "start" and "end"), "untouched", and the closing
// brace. kind: ZB_KIND_DURATION, _PACKED or _INTERVAL.
char *render_entity_json(char *p, const EntityResult &r, int32_t kind);

// The components as cells (--raw): an interval's start and end (extended
// text), then sign, years, months, days, hours, minutes, seconds and
// thousandths, separated by sep; every cell empty when the target holds no
// packed entity.
char *render_entity_cells(char *p, const EntityResult &r, int32_t kind, char sep);
// The names of those cells, in order, and how many there are.
const char *const *entity_cell_names(int32_t kind, size_t *n);

}  // namespace isoread
