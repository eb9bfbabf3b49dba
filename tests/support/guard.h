// Fields placed so that their last byte is followed by an inaccessible page:
// a read past the field faults at once.
#pragma once

#include <cstddef>
#include <string_view>

namespace zbtest {

class GuardedField {
 public:
  explicit GuardedField(std::string_view text);
  ~GuardedField();
  GuardedField(const GuardedField &) = delete;
  GuardedField &operator=(const GuardedField &) = delete;

  char *data() { return begin_; }
  size_t size() const { return size_; }

 private:
  char *map_ = nullptr;
  size_t map_len_ = 0;
  char *begin_ = nullptr;
  size_t size_ = 0;
};

}  // namespace zbtest
