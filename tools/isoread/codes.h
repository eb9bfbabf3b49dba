// Messages for the return codes of the readers and calendar routines: the one
// table the command-line reader turns codes into texts with.
#pragma once

#include <cstdint>

namespace isoread {

// The message for a code; "unknown code" for a code that is not one of ours.
const char *code_text(uint32_t code);

}  // namespace isoread
