// Messages for the readers' return codes and the entity problem codes, for
// the reader API (and any front end that shows codes to people).
#pragma once

#include <cstdint>

namespace zbhost {

// The message for a reader or calendar return code; "unknown code" for a
// code that is not one of ours.
const char *code_text(uint32_t code);

// The message of a problem code (1..27) of the duration, interval and entity
// routines, as the module logs it; "Unknown reason" for any other code.
const char *problem_text(uint32_t code);

}  // namespace zbhost
