// What would have read the fields that failed or were cut short: the
// summary's hints, found by trial reads of the first such texts.
#pragma once

#include <string>
#include <vector>

#include "batch.h"
#include "readers.h"

namespace isoread {

// "; field 'B8601DT': try B8601DT15." for each field of counts' samples
// that another width or reader reads better (reader i of handle is field
// i), "" when none does.
std::string suggestions(zb_handle *handle, const std::vector<Field> &fields, const Counts &counts);

}  // namespace isoread
