// Loading shared libraries (study plug-ins) by name.
//
// kv_dynlib_open looks for the library in one folder: the exact name,
// else the name with ".so" added, and either of them without regard to
// case (asked for "ferlume1", it finds "Ferlume1.so").
#pragma once

#include <stddef.h>

struct kv_dynlib;

// Null when no file matches or it cannot be loaded; kv_dynlib_error then
// says why.
kv_dynlib *kv_dynlib_open(const char *folder, const char *name);
// Address of an exported symbol, null when missing.
void *kv_dynlib_symbol(kv_dynlib *lib, const char *symbol);
void kv_dynlib_close(kv_dynlib *lib);
// Path of the file that was loaded.
const char *kv_dynlib_path(const kv_dynlib *lib);
// Text of the calling thread's last failure ("" when none).
const char *kv_dynlib_error(void);
