// The messages for return and problem codes come from the host's one table,
// shared with the reader API.
#pragma once

#include "../../host/codes.h"

namespace isoread {
using zbhost::code_text;
using zbhost::problem_text;
}  // namespace isoread
