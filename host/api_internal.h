// What the reader API's calls defined outside reader_api.cc need of it.
#pragma once

#include <cstddef>
#include <string>

#include "zelbrant/reader.h"

namespace zbhost {
// Keeps message as the calling thread's zb_last_error() and returns status.
int api_fail(int status, std::string message);
int api_fail(int status, const char *message);
// Forgets the readers of h from number keep on (readers looked up for a
// trial and not handed out), so that trials do not grow the handle.
void api_drop_readers(zb_handle *h, size_t keep);
}  // namespace zbhost
