#include "support/guard.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zbtest {

GuardedField::GuardedField(std::string_view text) : size_(text.size()) {
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_t pages = (text.size() + page - 1) / page + 1;
  map_len_ = (pages + 1) * page;
  void *m = mmap(nullptr, map_len_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) std::abort();
  map_ = static_cast<char *>(m);
  char *guard = map_ + pages * page;
  if (mprotect(guard, page, PROT_NONE) != 0) std::abort();
  begin_ = guard - text.size();
  if (!text.empty()) std::memcpy(begin_, text.data(), text.size());
}

GuardedField::~GuardedField() { munmap(map_, map_len_); }

}  // namespace zbtest
