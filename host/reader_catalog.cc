// zb_list: the catalog of readers as the reader API gives it, expanded from
// the one catalog the modules register from.
#include <array>
#include <cstddef>

#include "api_internal.h"
#include "catalog.h"
#include "zelbrant/reader.h"

namespace {

static_assert(ZB_CATALOG_KIND_DATE == ZB_KIND_DATE && ZB_CATALOG_KIND_TIME == ZB_KIND_TIME &&
              ZB_CATALOG_KIND_DATETIME == ZB_KIND_DATETIME &&
              ZB_CATALOG_KIND_DURATION == ZB_KIND_DURATION &&
              ZB_CATALOG_KIND_PACKED == ZB_KIND_PACKED &&
              ZB_CATALOG_KIND_INTERVAL == ZB_KIND_INTERVAL);
static_assert(ZB_CATALOG_FLAG_ZONED == ZB_READER_ZONED && ZB_CATALOG_FLAG_LOGS == ZB_READER_LOGS &&
              ZB_CATALOG_FLAG_ZONED_LOGS == (ZB_READER_ZONED | ZB_READER_LOGS));

// The widest field a lookup takes by routine name.
constexpr int32_t kMaxWidth = 32767;

constexpr zb_catalog_entry entry(const zb_catalog_row &r, const char *name, const char *modules,
                                 int32_t min, int32_t max, int32_t dflt) {
  return {name, r.routine, modules, r.description, r.example, r.kind, r.flags, min, max, dflt,
          r.decimals};
}

constexpr bool registered(const zb_catalog_row &r) {
  return r.zelbrant.name != nullptr || r.morvista.name != nullptr;
}

constexpr size_t count_entries() {
  size_t n = 0;
  for (const zb_catalog_row &r : zb_catalog)
    n += registered(r) ? (r.zelbrant.name != nullptr) + (r.morvista.name != nullptr) : 1;
  return n;
}

// Registered informats of each module in registration order, then the
// routines no module registers.
constexpr std::array<zb_catalog_entry, count_entries()> make_entries() {
  std::array<zb_catalog_entry, count_entries()> out{};
  size_t n = 0;
  for (const zb_catalog_row &r : zb_catalog)
    if (const zb_catalog_reg &g = r.zelbrant; g.name)
      out[n++] = entry(r, g.name, "zelbrant", g.min_width, g.max_width, g.default_width);
  for (const zb_catalog_row &r : zb_catalog)
    if (const zb_catalog_reg &g = r.morvista; g.name)
      out[n++] = entry(r, g.name, "morvista", g.min_width, g.max_width, g.default_width);
  for (const zb_catalog_row &r : zb_catalog)
    if (!registered(r)) out[n++] = entry(r, r.name, "zelbrant morvista", -1, kMaxWidth, -1);
  return out;
}

constexpr auto kEntries = make_entries();

}  // namespace

extern "C" int zb_list(const zb_catalog_entry **entries, size_t *count) {
  if (!entries || !count)
    return zbhost::api_fail(ZB_E_NULL, !entries ? "the entries pointer is null"
                                                : "the count pointer is null");
  *entries = kEntries.data();
  *count = kEntries.size();
  return ZB_OK;
}
