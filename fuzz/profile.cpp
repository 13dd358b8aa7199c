// The profile store's reader on arbitrary file contents: a file that loads
// gives values of the types it names, and written back and loaded again it
// holds the same sections and values.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <string>
#include <vector>

#include "fuzz/fuzz_root.h"
#include "platform/files.h"
#include "platform/profile.h"

static const char KEY[] = "Software\\FuzzMaker\\Fuzz";

struct value_image {
  std::string section, name;
  int type;
  int32_t number;
  std::string text;
  std::vector<uint8_t> bytes;
  bool operator==(const value_image&) const = default;
};

static std::vector<value_image> image_of(const kv_profile* p) {
  std::vector<value_image> out;
  for (const std::string& s : kv_profile_sections(p)) {
    for (const std::string& n : kv_profile_value_names(p, s.c_str())) {
      value_image v{s, n, kv_profile_value_type(p, s.c_str(), n.c_str()), 0, {}, {}};
      switch (v.type) {
        case KV_PROFILE_INT:
          v.number = kv_profile_get_int(p, s.c_str(), n.c_str(), 0);
          break;
        case KV_PROFILE_STRING:
          v.text = kv_profile_get_string(p, s.c_str(), n.c_str(), "");
          break;
        case KV_PROFILE_BINARY:
          if (!kv_profile_get_binary(p, s.c_str(), n.c_str(), &v.bytes)) abort();
          break;
        default:
          abort();  // a listed value must have a type
      }
      out.push_back(v);
    }
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (path.empty()) {
    setenv("XDG_CONFIG_HOME", fuzz_temp_root("profile").c_str(), 1);
    path = kv_profile_path(KEY);
    kv_make_dirs(path.substr(0, path.rfind('/')).c_str(), nullptr);
  }
  if (!kv_write_file_atomic(path.c_str(), data, size, nullptr)) return 0;
  kv_profile* p = kv_profile_open(KEY);
  if (!p) return 0;
  std::vector<value_image> before = image_of(p);
  // A write makes the store format the file again from what it loaded.
  if (!kv_profile_write_int(p, "FuzzSection", "FuzzValue", 7)) abort();
  kv_profile_close(p);
  p = kv_profile_open(KEY);
  if (!p) abort();  // what the store wrote must load
  std::vector<value_image> after = image_of(p);
  if (kv_profile_get_int(p, "FuzzSection", "FuzzValue", 0) != 7) abort();
  kv_profile_close(p);
  // Everything loaded survives the round trip unchanged, beside the value
  // written.
  size_t kept = 0;
  for (const value_image& v : before) {
    if (strcasecmp(v.section.c_str(), "FuzzSection") == 0 &&
        strcasecmp(v.name.c_str(), "FuzzValue") == 0)
      continue;
    kept++;
    if (std::find(after.begin(), after.end(), v) == after.end()) abort();
  }
  if (after.size() != kept + 1) abort();
  return 0;
}
