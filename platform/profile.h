// The profile store: the user's settings under a key such as
// "Software\Ostrelan\Korvane" (an instance letter changes the key, for
// example "Software\OstrelanB\Korvane").
//
// A key holds sections ("Settings1", "Install", "Recent File List" ...),
// a section holds named values of three types: 32-bit integer, string and
// binary.  Section and value names are compared without regard to case
// and keep the case they were first written with; a name may begin with
// "\" ("\PrefDrawDef").
//
// Each key is one file: $XDG_CONFIG_HOME/<key without the leading
// "Software\", "\" turned into "/">.profile ($HOME/.config when
// XDG_CONFIG_HOME is unset), made with mode 0600 and always replaced
// atomically, so a failed write leaves the previous file.  Writes reach
// the file at once unless the profile is held (kv_profile_hold), in which
// case they reach it on release; this lets a save of many values write the
// file once.
//
// A profile object is used by one thread at a time.  Several objects may
// be open on one key: each write replays that object's changes onto the
// file as it is then, so none undoes the values another one wrote.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct kv_profile;

enum kv_profile_type {
  KV_PROFILE_NONE = 0,
  KV_PROFILE_INT = 1,
  KV_PROFILE_STRING = 2,
  KV_PROFILE_BINARY = 3
};

// Opens (loads) the key's file; a missing file gives an empty profile.
// Returns null only when the key is not usable as a path or the file
// exists but cannot be read or parsed.
kv_profile *kv_profile_open(const char *key);
// Writes pending changes (when held) and frees the object.
void kv_profile_close(kv_profile *p);
// File that holds the key.
std::string kv_profile_path(const char *key);
const char *kv_profile_file(const kv_profile *p);

// 1 hold writes in memory; 0 release: writes the file when anything
// changed.  Returns 1, or 0 when the release's write failed.
int kv_profile_hold(kv_profile *p, int hold);
// Writes the file now when anything changed.  1 ok, 0 failed (errno set).
int kv_profile_flush(kv_profile *p);

// Type of a value, KV_PROFILE_NONE when missing.
int kv_profile_value_type(const kv_profile *p, const char *section, const char *name);

// Reads.  A missing value, or one of another type, gives the default.
int32_t kv_profile_get_int(const kv_profile *p, const char *section, const char *name, int32_t def);
std::string kv_profile_get_string(const kv_profile *p, const char *section, const char *name,
                                  const char *def);
// Copies at most size - 1 characters and a NUL; returns the full length of
// the value (or of def).
size_t kv_profile_get_string(const kv_profile *p, const char *section, const char *name,
                             const char *def, char *buf, size_t size);
// Returns 1 and the bytes when a binary value exists, else 0.
int kv_profile_get_binary(const kv_profile *p, const char *section, const char *name,
                          std::vector<uint8_t> *out);

// Writes: 1 written (or held), 0 when writing the file failed (the value
// stays set in memory).
int kv_profile_write_int(kv_profile *p, const char *section, const char *name, int32_t value);
int kv_profile_write_string(kv_profile *p, const char *section, const char *name,
                            const char *value);
int kv_profile_write_binary(kv_profile *p, const char *section, const char *name, const void *data,
                            size_t len);
int kv_profile_delete_value(kv_profile *p, const char *section, const char *name);
int kv_profile_delete_section(kv_profile *p, const char *section);

// Names in the order they were first written.
std::vector<std::string> kv_profile_sections(const kv_profile *p);
std::vector<std::string> kv_profile_value_names(const kv_profile *p, const char *section);
