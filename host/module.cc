// Loading a module: dlopen, mcn_main, and the checks on the image record.
#include <dlfcn.h>

#include <cstring>

#include "host.h"
#include "records.h"

namespace zbhost {

namespace {

using mcn_main_fn = const vi_mcn_record *(*)(gcb *, void *);

void set_error(std::string *error, std::string text) {
  if (error) *error = std::move(text);
}

}  // namespace

// A library is never closed: its readers may still be referenced by the
// host's registration tables or by another Module of the same file.
std::unique_ptr<Module> Module::load(Host &host, const std::string &path, std::string *error) {
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char *why = dlerror();
    set_error(error, "cannot load module " + path + ": " + (why ? why : "unknown error"));
    return nullptr;
  }
  dlerror();
  auto entry = reinterpret_cast<mcn_main_fn>(dlsym(h, "mcn_main"));
  if (!entry) {
    set_error(error, "module " + path + " has no mcn_main entry");
    return nullptr;
  }
  const vi_mcn_record *image = entry(host.gcb_ptr(), host.pidb());
  if (!image) {
    set_error(error, "module " + path + ": mcn_main returned no image record");
    return nullptr;
  }
  if (std::memcmp(image->marker, VI_MCN_MARKER, sizeof VI_MCN_MARKER) != 0) {
    set_error(error, "module " + path + ": image record has the wrong marker text");
    return nullptr;
  }
  if (image->magic != VI_MCN_MAGIC) {
    set_error(error, "module " + path + ": image record has the wrong magic number");
    return nullptr;
  }
  if (!image->pcns) {
    set_error(error, "module " + path + ": image record names no program-control node");
    return nullptr;
  }
  std::unique_ptr<Module> m(new Module());
  m->handle_ = h;
  m->image_ = image;
  m->path_ = path;
  return m;
}

Module::~Module() = default;

void *Module::symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

const pcn_record *Module::pcn() const {
  if (!image_ || !image_->pcns) return nullptr;
  return static_cast<const pcn_record *const *>(image_->pcns)[0];
}

}  // namespace zbhost
