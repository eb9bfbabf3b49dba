// The reader API's error record, for zb_ calls defined outside reader_api.cc.
#pragma once

#include <string>

namespace zbhost {
// Keeps message as the calling thread's zb_last_error() and returns status.
int api_fail(int status, std::string message);
int api_fail(int status, const char *message);
}  // namespace zbhost
