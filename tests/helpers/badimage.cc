// A library with an mcn_main whose image record is wrong in one way, or
// with no mcn_main at all, chosen at build time, for the host's
// module-loading tests.
#include <string.h>

#include "records.h"

namespace {

vi_mcn_record make_image() {
  vi_mcn_record r;
  memset(&r, 0, sizeof r);
  memcpy(r.marker, VI_MCN_MARKER, sizeof VI_MCN_MARKER);
  r.magic = VI_MCN_MAGIC;
  static const void *const pcns[2] = {nullptr, nullptr};
  r.pcns = pcns;
#if defined(BAD_MARKER)
  r.marker[4] = 'X';
#elif defined(BAD_MAGIC)
  r.magic = 0xB0BDEBEEu;
#elif defined(NO_PCNS)
  r.pcns = nullptr;
#endif
  return r;
}

vi_mcn_record g_image = make_image();

}  // namespace

#if defined(NO_ENTRY)
extern "C" __attribute__((visibility("default"))) const vi_mcn_record *other_entry() {
  return &g_image;
}
#else
extern "C" __attribute__((visibility("default"))) const vi_mcn_record *mcn_main(void *, void *) {
#if defined(NULL_IMAGE)
  return nullptr;
#else
  return &g_image;
#endif
}
#endif
