// What a deliverable's registration is made of: one row per informat, from
// which both tables the host asks for are built (the descriptor table and the
// reader table in the same order), so that a name and its reader cannot drift
// apart; and the module entry that hands them to the host.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "module.h"
#include "records.h"

// The program-control-node record of a deliverable: its lower-case name,
// its module entry and the one word that differs between deliverables; the
// rest is the same for every module of the host.
constexpr pcn_record make_pcn(const char (&name)[9], module_entry entry, int64_t particular) {
  pcn_record r{{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x400, 0x400, {}, entry, 1,
               0x25D3, particular, 15};
  for (size_t k = 0; k < 8; ++k) r.name[k] = name[k];
  return r;
}

// One registered informat: the name the host knows it by ("@B8601DA"), its
// reader, its minimum, maximum and default widths, and its decimal places
// (6 where a time of day is read).
struct informat_row {
  const char *name;
  ifm_reader reader;
  int16_t min_width, max_width, default_width, decimals;
};

// The two tables of a family, row for row.
template <size_t N>
struct informat_family {
  fmtitem items[N];  // descriptors: name NUL-padded, every other field 0
  ifm_reader readers[N];
};

template <size_t N>
constexpr informat_family<N> make_family(const informat_row (&rows)[N]) {
  informat_family<N> f{};
  for (size_t i = 0; i < N; ++i) {
    const informat_row &r = rows[i];
    fmtitem &item = f.items[i];
    for (size_t k = 0; r.name[k] != '\0'; ++k) item.name[k] = r.name[k];
    item.min_width = r.min_width;
    item.max_width = r.max_width;
    item.default_width = r.default_width;
    item.decimals = r.decimals;
    f.readers[i] = r.reader;
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
