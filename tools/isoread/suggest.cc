#include "suggest.h"

namespace isoread {

std::string suggestions(zb_handle *handle, const std::vector<Field> &fields,
                        const Counts &counts) {
  std::string s;
  for (size_t i = 0; i < counts.samples.size() && i < fields.size(); ++i) {
    const std::vector<std::string> &texts = counts.samples[i];
    if (texts.empty()) continue;
    std::vector<const char *> ptrs;
    std::vector<size_t> lens;
    for (const std::string &t : texts) ptrs.push_back(t.data()), lens.push_back(t.size());
    char buf[128];
    const int n = zb_suggest(handle, static_cast<int32_t>(i), ptrs.data(), lens.data(),
                             texts.size(), buf, sizeof buf);
    if (n <= 0) continue;  // nothing reads them better (or the call failed: no hint)
    s += "; field '" + fields[i].given + "': " + std::string(buf);
  }
  return s;
}

}  // namespace isoread
