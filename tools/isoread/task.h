// The settings of the host task isoread reads in and of the entity
// readers: host options, the local GMT offset, the mode word, the target
// length and the fill character of reported problems.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace isoread {

struct TaskOptions {
  std::vector<std::pair<std::string, std::string>> host_options;  // --option NAME=VALUE
  std::optional<double> gmt_offset;      // seconds east of GMT; none: the system's
  int32_t mode = 0x100;                  // mode word of the entity readers
  std::optional<int32_t> target_length;  // none: 16, 32 for intervals
  bool fill_stars = false;               // n8601prob fills with '*', not 'F'
};

// Whether NAME is one of the options above, and whether it takes a value.
bool is_task_option(const std::string &name, bool *takes_value);
// Applies one of them to *t; false with *error on a bad value.
bool parse_task_option(const std::string &name, const std::string &value, TaskOptions *t,
                       std::string *error);

// The --help section of these options.
const char *task_help_text();

}  // namespace isoread
