// Shared libraries found in a folder without regard to the name's case.
#include "platform/dynlib.h"

#include <dirent.h>
#include <dlfcn.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "platform/files.h"

struct kv_dynlib {
  void *handle;
  std::string path;
};

static thread_local std::string t_dl_error;

// The file in folder named name or name + ".so", exact name first.
static std::string find_library(const char *folder, const char *name) {
  std::string dir = kv_resolve_case(folder);
  if (dir.empty()) return "";
  std::string with_ext = std::string(name) + ".so";
  for (const std::string &n : {std::string(name), with_ext}) {
    std::string p = dir + "/" + n;
    if (kv_file_exists(p.c_str())) return p;
  }
  DIR *d = opendir(dir.c_str());
  if (!d) return "";
  std::string found;
  while (struct dirent *e = readdir(d)) {
    if (!strcasecmp(e->d_name, name) || !strcasecmp(e->d_name, with_ext.c_str())) {
      std::string p = dir + "/" + e->d_name;
      if (kv_file_exists(p.c_str())) {
        found = p;
        break;
      }
    }
  }
  closedir(d);
  return found;
}

kv_dynlib *kv_dynlib_open(const char *folder, const char *name) {
  t_dl_error.clear();
  if (!name || !*name || strchr(name, '/')) {
    t_dl_error = "bad library name";
    return nullptr;
  }
  std::string path = find_library(folder, name);
  if (path.empty()) {
    t_dl_error = std::string("no library ") + name + " in " + folder;
    return nullptr;
  }
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char *e = dlerror();
    t_dl_error = e ? e : "cannot load";
    return nullptr;
  }
  return new kv_dynlib{h, path};
}

void *kv_dynlib_symbol(kv_dynlib *lib, const char *symbol) {
  if (!lib) return nullptr;
  dlerror();
  void *p = dlsym(lib->handle, symbol);
  if (!p) {
    const char *e = dlerror();
    t_dl_error = e ? e : std::string("no symbol ") + symbol;
  }
  return p;
}

void kv_dynlib_close(kv_dynlib *lib) {
  if (!lib) return;
  dlclose(lib->handle);
  delete lib;
}

const char *kv_dynlib_path(const kv_dynlib *lib) {
  return lib ? lib->path.c_str() : "";
}
const char *kv_dynlib_error(void) {
  return t_dl_error.c_str();
}
