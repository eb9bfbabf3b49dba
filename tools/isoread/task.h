// The settings of the host task isoread reads in and of the entity
// readers: host options, the local GMT offset, the mode word, the target
// length and the fill character of reported problems.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zelbrant/reader.h"

namespace isoread {

struct TaskOptions {
  std::vector<std::pair<std::string, std::string>> host_options;  // --option NAME=VALUE
  std::optional<double> gmt_offset;      // seconds east of GMT; none: the system's
  int32_t mode = ZB_DEFAULT_ENTITY_MODE;  // mode word of the entity readers
  std::optional<int32_t> target_length;  // none: 16, 32 for intervals
  bool fill_stars = false;               // n8601prob fills with '*', not 'F'
};

}  // namespace isoread
