// A scratch folder for a fuzz target's files: made once under TMPDIR (else
// /tmp) and removed with everything in it when the run ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string& fuzz_root_path()
{
    static std::string path;
    return path;
}

inline void fuzz_remove_root()
{
    std::error_code ignored;
    if (!fuzz_root_path().empty())
        std::filesystem::remove_all(fuzz_root_path(), ignored);
}

// The folder "<TMPDIR>/kv_fuzz_<name>_XXXXXX"; aborts when it cannot be made.
inline const std::string& fuzz_temp_root(const char* name)
{
    std::string& path = fuzz_root_path();
    if (path.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kv_fuzz_" + name + "_XXXXXX";
        if (!mkdtemp(pattern.data()))
            abort();
        path = pattern;
        atexit(fuzz_remove_root);
    }
    return path;
}
