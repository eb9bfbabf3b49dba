// The exported routines of a loaded module, bound by name once for the
// tests, the fuzz targets and the tools: the catalog's readers (by name and
// by catalog position) and the routines of other shapes.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "catalog.h"
#include "gcb.h"
#include "host.h"
#include "ifmblock.h"
#include "support/entity_record.h"

namespace zbtest {

using entity_fn = uint32_t (*)(ifmblock *, int32_t);  // an entity reader and its mode word

// The routines that are not readers of the catalog, with their types.
#define ZB_MODULE_ROUTINES(X)                                                          \
  X(i8601_time, uint32_t (*)(ifmblock *, int32_t))                                     \
  X(i8601_datetime, uint32_t (*)(ifmblock *, int32_t))                                 \
  X(date_ok, int32_t (*)(const char *, int32_t))                                       \
  X(read2digs, int32_t (*)(const char **, int32_t *, int32_t *))                       \
  X(get_time_offset, uint32_t (*)(int32_t, const ifmblock *, ifmblock *, int32_t *))   \
  X(zifmgmd, int32_t (*)(task_context *, const char *, int32_t, double *, double *,    \
                         double *))                                                    \
  X(read_date_or_duration, int32_t (*)(const char *, int32_t, iso_entity *, int32_t,   \
                                       int32_t))                                       \
  X(convert_to_bcd, int32_t (*)(iso_entity *))                                         \
  X(derive_interval, int32_t (*)(const char *, int32_t, iso_entity *, iso_entity *,    \
                                 int32_t))                                             \
  X(compute_end, int32_t (*)(const iso_entity *, const iso_entity *, iso_entity *))    \
  X(compute_start, int32_t (*)(const iso_entity *, const iso_entity *, iso_entity *))  \
  X(n8601prob, uint32_t (*)(ifmblock *, int32_t, int32_t))                             \
  X(uwxn8601_init, void (*)())                                                         \
  X(uwxn8601_term, int32_t (*)())                                                      \
  X(get_gmt_offsetc, const char *(*)(const ifmblock *))                                \
  X(vzsntl, int32_t (*)(const void *, int64_t, int32_t))                               \
  X(wzstnot, int32_t (*)(const void *, int32_t, int32_t))                              \
  X(wzstpos, int32_t (*)(const void *, int32_t, int32_t))                              \
  X(vzstl, int32_t (*)(const void *, int64_t, const uint8_t *))                        \
  X(wzstlen, int32_t (*)(const char *))                                                \
  X(wzstrip, int32_t (*)(const void *, int32_t))                                       \
  X(wzbcup, int32_t (*)(const void *, const void *, int32_t))                          \
  X(wzstjls, void (*)(char *, int32_t, int32_t, int32_t *, int32_t *))                 \
  X(wzclchr, uint32_t (*)(int64_t, char *, int32_t))

#define ZB_READER_TYPE_DATE ifm_reader
#define ZB_READER_TYPE_TIME ifm_reader
#define ZB_READER_TYPE_DATETIME ifm_reader
#define ZB_READER_TYPE_DURATION entity_fn
#define ZB_READER_TYPE_PACKED entity_fn
#define ZB_READER_TYPE_INTERVAL entity_fn

struct ModuleApi {
#define ZB_API_READER_(id, routine, kind, ...) ZB_READER_TYPE_##kind routine;
  ZB_CATALOG(ZB_API_READER_)
#undef ZB_API_READER_
#define ZB_API_ROUTINE_(name, type) std::type_identity_t<type> name;
  ZB_MODULE_ROUTINES(ZB_API_ROUTINE_)
#undef ZB_API_ROUTINE_
  // The catalog's readers by catalog position: numeric readers in numeric,
  // entity readers in entity, null in the other.
  ifm_reader numeric[zb_catalog_count];
  entity_fn entity[zb_catalog_count];

  // The numeric reader of a catalog id; null for none or an entity reader.
  ifm_reader numeric_by_id(int id) const {
    const zb_catalog_row *r = zb_catalog_by_id(id);
    return r ? numeric[r - zb_catalog] : nullptr;
  }
  entity_fn entity_by_id(int id) const {
    const zb_catalog_row *r = zb_catalog_by_id(id);
    return r ? entity[r - zb_catalog] : nullptr;
  }
};

// Binds every routine of api from a loaded module; false when one is not
// exported, with the missing names in *missing.
inline bool bind_module(const zbhost::Module &m, ModuleApi *api, std::string *missing) {
  bool ok = true;
  auto get = [&](auto &slot, const char *name) {
    void *p = m.symbol(name);
    if (!p) {
      ok = false;
      if (missing) *missing += std::string(name) + " ";
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(p);
  };
  int at = 0;
#define ZB_BIND_READER_(id, routine, kind, ...)                        \
  get(api->routine, #routine);                                         \
  api->numeric[at] = reinterpret_cast<ifm_reader>(m.symbol(#routine)); \
  api->entity[at] = reinterpret_cast<entity_fn>(m.symbol(#routine));   \
  if (zb_catalog_entity(zb_catalog[at]))                               \
    api->numeric[at] = nullptr;                                        \
  else                                                                 \
    api->entity[at] = nullptr;                                         \
  ++at;
  ZB_CATALOG(ZB_BIND_READER_)
#undef ZB_BIND_READER_
#define ZB_BIND_ROUTINE_(name, type) get(api->name, #name);
  ZB_MODULE_ROUTINES(ZB_BIND_ROUTINE_)
#undef ZB_BIND_ROUTINE_
  return ok;
}

}  // namespace zbtest
