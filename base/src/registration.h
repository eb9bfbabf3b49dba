// What a deliverable's registration is made of: the catalog's rows that the
// deliverable registers, from which both tables the host asks for are built
// (the descriptor table and the reader table in the same order), so that a
// name and its reader cannot drift apart; and the module entry that hands
// them to the host.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "module.h"
#include "records.h"
#include "catalog.h"
#include "basic.h"
#include "calendar.h"
#include "entity.h"
#include "extended.h"

// The program-control-node record of a deliverable: its lower-case name,
// its module entry and the one word that differs between deliverables; the
// rest is the same for every module of the host.
constexpr pcn_record make_pcn(const char (&name)[9], module_entry entry, int64_t particular) {
  pcn_record r{{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x400, 0x400, {}, entry, 1,
               0x25D3, particular, 15};
  for (size_t k = 0; k < 8; ++k) r.name[k] = name[k];
  return r;
}

// One registered informat: the name the host knows it by without its '@'
// ("B8601DA"), its reader, its minimum, maximum and default widths, and its
// decimal places (6 where a time of day is read).
struct informat_row {
  const char *name;
  ifm_reader reader;
  int16_t min_width, max_width, default_width, decimals;
};

// The two tables of a family, row for row.
template <size_t N>
struct informat_family {
  fmtitem items[N];  // descriptors: '@' and the name, NUL-padded, every other field 0
  ifm_reader readers[N];
};

// Every reader of the catalog as this module sees it: its routine (null for
// the entity readers, which no module registers) and its registration in
// each deliverable. Only names and widths are taken from the catalog.
struct catalog_slot {
  ifm_reader reader;
  zb_catalog_reg zelbrant, morvista;
  int16_t decimals;
};
constexpr ifm_reader numeric_reader(ifm_reader r) { return r; }
constexpr ifm_reader numeric_reader(uint32_t (*)(ifmblock *, int32_t)) { return nullptr; }
#define ZB_CATALOG_SLOT_(id, routine, kind, flags, decimals, name, zel, mor, gen, desc, ex) \
  {numeric_reader(routine), zb_reg zel, zb_reg mor, decimals},
inline constexpr catalog_slot kCatalogSlots[] = {ZB_CATALOG(ZB_CATALOG_SLOT_)};
#undef ZB_CATALOG_SLOT_

template <zb_catalog_reg catalog_slot::*Module>
constexpr size_t registered_count() {
  size_t n = 0;
  for (const catalog_slot &s : kCatalogSlots) n += (s.*Module).name != nullptr;
  return n;
}

// The family a deliverable registers: the catalog rows it names, in
// catalog order.
template <zb_catalog_reg catalog_slot::*Module>
constexpr informat_family<registered_count<Module>()> catalog_family() {
  informat_family<registered_count<Module>()> f{};
  size_t i = 0;
  for (const catalog_slot &s : kCatalogSlots) {
    const zb_catalog_reg &r = s.*Module;
    if (!r.name) continue;
    fmtitem &item = f.items[i];
    item.name[0] = '@';
    for (size_t k = 0; r.name[k] != '\0'; ++k) item.name[k + 1] = r.name[k];
    item.min_width = r.min_width;
    item.max_width = r.max_width;
    item.default_width = r.default_width;
    item.decimals = s.decimals;
    f.readers[i++] = s.reader;
  }
  return f;
}

// The module entry of a family: request 1 gives the descriptor block,
// request 2 the reader table in descriptor order, any other request null.
template <size_t N>
void *family_entry(const informat_family<N> &f, int32_t request) {
  constexpr int32_t count = static_cast<int32_t>(N);
  if (request == 1) return xfmfent(1, count, f.items, nullptr);
  if (request == 2) return xfmfent(2, count, nullptr, reinterpret_cast<void *const *>(f.readers));
  return nullptr;
}
