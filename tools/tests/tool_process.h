// Running the console tools as child processes from tests, in a temporary
// folder of their own.
#pragma once

#include <string>
#include <vector>

struct tool_result {
  int exit_code;    // 0-255, or -1 when the program did not exit normally
  std::string out;  // everything it printed to standard output
};

// Runs program with args in folder cwd and waits for it. A max_file_size
// above 0 caps the size of any file it writes (writes past it fail).
tool_result run_tool(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, long max_file_size = 0);

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void write_bytes(const std::string& path, const std::string& bytes);
// The file's bytes; sets *exists (when given) to whether it could be read.
std::string read_bytes(const std::string& path, bool* exists = nullptr);
bool file_exists(const std::string& path);
