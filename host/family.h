// The host's registration of a loaded module's informat family, and lookup of
// informats by name.
//
// Registration follows the module's records: the image record's pcns list
// leads to the program-control-node record, which points at the module entry;
// request 1 gives the descriptor block (count and the fmtitem table), request
// 2 the reader table. Both blocks come from the host's registration allocator
// and belong to the host: a Family frees them when it goes.
//
// Besides the registered informats, a module's other exported readers (those
// that take a call block alone, such as i8601dz or zifmtim) can be looked up
// by routine name and used the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host.h"
#include "ifmblock.h"

namespace zbhost {

// What a reader stores in its double target.
enum class ValueKind { date, time, datetime };
const char *kind_name(ValueKind k);

// One registered informat, as its descriptor gives it.
struct Registered {
  std::string name;  // without the '@', as registered ("B8601DT")
  int32_t min_width = 0, max_width = 0, default_width = 0;
  int32_t decimals = 0;
  ifm_reader reader = nullptr;
  std::string routine;  // the exported routine behind it ("b8601dt"), or ""
  ValueKind kind = ValueKind::datetime;
};

// The result of a lookup: everything needed to call the reader on a field.
struct Informat {
  ifm_reader reader = nullptr;
  // The field width; for a routine name given without one, -1: the field
  // takes the rest of the record.
  int32_t width = 0;
  int32_t decimals = 0;
  ValueKind kind = ValueKind::datetime;
  std::string display;  // "B8601DT19." for an informat, "i8601dz" for a routine
  bool registered = false;
};

// A reader name's trailing digits as its width: the name before them in
// *base and their value in *width (past every range, capped at 2^40, when
// longer than 32 bits). False when s does not end in digits or is nothing
// but digits. The one width parse of reader names.
bool split_width(std::string_view s, std::string_view *base, int64_t *width);

// Why a lookup failed.
enum class LookupError { none, name, width };

class Family {
 public:
  // Registers the module's family through its module entry. The Module must
  // stay loaded as long as the Family is used. On failure returns null and
  // sets *error.
  static std::unique_ptr<Family> load(Host &host, const Module &module, std::string *error);
  ~Family();
  Family(const Family &) = delete;
  Family &operator=(const Family &) = delete;

  // The module name from the program-control-node record ("zelbrant").
  const std::string &module_name() const { return module_name_; }
  const std::vector<Registered> &informats() const { return informats_; }

  // Finds an informat by name: any letter case, with or without a leading
  // '@', a width and a trailing '.' ("b8601dt", "@B8601DT19.", "B8601DT.").
  // A name that is no registered informat may be the routine name of one of
  // the module's exported readers, written as exported ("i8601dz",
  // "zifmtim30"); a registered name wins. A width given in the name or
  // as `width` is checked against the informat's range; without one the
  // default width is used. On failure returns nullopt and sets *error (an
  // unknown name lists the known ones; a bad width gives the range) and
  // *why.
  std::optional<Informat> lookup(std::string_view name, std::optional<int32_t> width,
                                 std::string *error, LookupError *why = nullptr) const;

  // The registered informat of that name (any case, '@' optional), or null.
  const Registered *find(std::string_view name) const;
  // The registered names and the routine names, for messages.
  std::string known_names() const;

 private:
  Family(Host &host) : host_(host) {}
  Host &host_;
  const Module *module_ = nullptr;
  void *descriptors_ = nullptr;  // host-owned block of request 1
  void *readers_ = nullptr;      // host-owned block of request 2
  std::string module_name_;
  std::vector<Registered> informats_;
};

}  // namespace zbhost
