// The version query.
#include <string.h>

#include "module.h"
#include "records.h"

// Defined by each deliverable's build record.
extern "C" ZB_VISIBLE const uintptr_t info[INFO_SLOTS];

// qjvercn1(buf): copies the 208-byte version record into buf. The slots point
// into the module's static data.
ZB_API void qjvercn1(void *buf) { memcpy(buf, info, sizeof info); }
