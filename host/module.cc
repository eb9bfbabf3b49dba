// Loading a module: dlopen, mcn_main, and the checks on the image record.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host.h"
#include "records.h"

namespace zbhost {

namespace {

using mcn_main_fn = const vi_mcn_record *(*)(gcb *, void *);

void set_error(std::string *error, std::string text) {
  if (error) *error = std::move(text);
}

std::string dl_error() {
  const char *why = dlerror();
  return why ? why : "unknown error";
}

// Copies the file at path into a new anonymous memory file; its descriptor,
// or -1 with *error set.
int copy_to_memory(const std::string &path, std::string *error) {
  auto fail = [&](int in, int out) {
    set_error(error, "cannot copy module " + path + ": " + std::strerror(errno));
    if (in >= 0) close(in);
    if (out >= 0) close(out);
    return -1;
  };
  int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return fail(-1, -1);
  int out = memfd_create("zbhost-module", MFD_CLOEXEC);
  if (out < 0) return fail(in, -1);
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(in, out);
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return fail(in, out);
      done += w;
    }
  }
  close(in);
  return out;
}

}  // namespace

// Runs mcn_main of a freshly opened library with the GCB g and checks the
// image record it returns.
std::unique_ptr<Module> Module::start(Host &host, void *handle, const std::string &path, gcb *g,
                                      std::string *error) {
  dlerror();
  auto entry = reinterpret_cast<mcn_main_fn>(dlsym(handle, "mcn_main"));
  if (!entry) {
    set_error(error, "module " + path + " has no mcn_main entry");
    return nullptr;
  }
  const vi_mcn_record *image = entry(g, host.pidb());
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
  m->handle_ = handle;
  m->image_ = image;
  m->path_ = path;
  m->gcb_ = g;
  return m;
}

// A library that loaded is never closed: its readers may still be referenced
// by the host's registration tables or by another Module of the same file.
// A library without mcn_main ran none of its code for the host, so its
// reference is dropped; one whose mcn_main ran stays, as it may have kept
// the GCB or handed the host pointers into itself.
std::unique_ptr<Module> Module::load(Host &host, const std::string &path, std::string *error) {
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    set_error(error, "cannot load module " + path + ": " + dl_error());
    return nullptr;
  }
  auto m = start(host, h, path, host.gcb_ptr(), error);
  if (!m && !dlsym(h, "mcn_main")) dlclose(h);
  return m;
}

// The copy is opened by its /proc name, which holds the descriptor number;
// the descriptor stays open while the instance lives, so no other private
// instance can have that name. The system also knows libraries by name: a
// name already loaded (a library opened by that path elsewhere) is refused
// rather than handed back as a second instance.
std::unique_ptr<Module> Module::load_private(Host &host, const std::string &path,
                                             std::string *error) {
  int fd = copy_to_memory(path, error);
  if (fd < 0) return nullptr;
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  void *h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (h) {
    dlclose(h);
    close(fd);
    set_error(error, "cannot load a private copy of module " + path + ": " + name +
                         " is loaded already");
    return nullptr;
  }
  h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    set_error(error, "cannot load a private copy of module " + path + ": " + dl_error());
    close(fd);
    return nullptr;
  }
  gcb *g = host.new_gcb();
  auto m = start(host, h, path, g, error);
  if (!m) {
    dlclose(h);
    close(fd);
    host.release_gcb(g);
    return nullptr;
  }
  m->owner_ = &host;
  m->fd_ = fd;
  return m;
}

Module::~Module() {
  if (!owner_) return;
  dlclose(handle_);
  close(fd_);
  owner_->release_gcb(gcb_);
}

void *Module::symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

const pcn_record *Module::pcn() const {
  if (!image_ || !image_->pcns) return nullptr;
  return static_cast<const pcn_record *const *>(image_->pcns)[0];
}

}  // namespace zbhost
