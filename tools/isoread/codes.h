// Messages for the return codes of the readers and calendar routines: the one
// table the command-line reader turns codes into texts with.
#pragma once

#include <cstdint>

namespace isoread {

// The message for a code; "unknown code" for a code that is not one of ours.
const char *code_text(uint32_t code);

// The message of a problem code (1..27) of the duration, interval and entity
// routines, as the module logs it; "Unknown reason" for any other code.
const char *problem_text(uint32_t code);

}  // namespace isoread
