#include "tools/pexlor_cmd.h"

#include "data/chart.h"
#include "platform/files.h"
#include "tools/pricecopy.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>
#include <sys/stat.h>

static int syntax_error(const char* why) {
  if (why) std::printf("%s", why);
  std::printf("  syntax:  pexlor infile.ext outfile[.ext] [price adjust amt]\n");
  return 1;
}

// Reads the whole input into *image (malloc'ed). Returns 0, or the exit
// code after printing why. Only a regular file counts as an input: a
// folder opens on this system but has no contents to copy.
static int read_input(const char* path, uint8_t** image, size_t* size) {
  FILE* f = kv_fopen_existing(path, "rb", nullptr);
  struct stat st;
  if (f && (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))) {
    std::fclose(f);
    f = nullptr;
  }
  if (!f) {
    std::printf("Can't open: %s\n", path);
    return 1;
  }
  *size = static_cast<size_t>(st.st_size);
  *image = static_cast<uint8_t*>(std::malloc(*size ? *size : 1));
  if (!*image) {
    std::fclose(f);
    std::printf("Can't malloc memory\n");
    return 2;
  }
  size_t got = std::fread(*image, 1, *size, f);
  std::fclose(f);
  if (got != *size) {
    std::printf("ReadFile failed\n");
    return 3;
  }
  return 0;
}

// 0 when the copy can go to out_name: the symbol its name gives must be
// usable as a price-file symbol (a name such as "dir/" or ".1min" gives
// none), and no folder may stand where the file goes.
static int output_usable(const std::string& out_name, const std::string& symbol) {
  if (!kv_symbol_file_name_ok(symbol.c_str())) return 0;
  std::string on_disk = kv_resolve_case(out_name.c_str());
  return on_disk.empty() || !kv_dir_exists(on_disk.c_str());
}

int pexlor_main(int argc, char** argv) {
  if (argc < 3) return syntax_error("Missing arg\n");
  const char* in_name = argv[1];
  const char* out_arg = argv[2];
  const char* in_ext = file_extension(in_name);
  if (!in_ext) return syntax_error("missing input file extension\n");
  const char* out_ext = file_extension(out_arg);
  if (out_ext && strcasecmp(in_ext, out_ext) != 0)
    return syntax_error("File extensions must be the same\n");
  double adjustment = 0;
  if (argc > 3 && !parse_price_adjustment(argv[3], &adjustment)) return syntax_error(nullptr);

  std::string symbol = symbol_from_file_name(out_arg);
  std::string out_name = out_arg;
  if (!out_ext) out_name += in_ext;

  uint8_t* image = nullptr;
  size_t size = 0;
  int rc = read_input(in_name, &image, &size);
  if (rc == 0 && size < CHART_HEADER_SIZE) {
    std::printf("ReadFile failed\n");
    rc = 3;
  }
  if (rc == 0 && !price_image_checksum_ok(image)) {
    std::printf("Input file checksum error\n");
    rc = 4;
  }
  // The counts come from the header alone; the file must hold what they
  // claim before any bar is touched.
  if (rc == 0 && !price_image_complete(image, size)) {
    std::printf("ReadFile failed\n");
    rc = 3;
  }
  if (rc != 0) {
    std::free(image);
    return rc;
  }

  set_price_image_symbol(image, symbol);
  if (adjustment != 0) adjust_price_image(image, adjustment);

  // The copy replaces the output in one step: it goes to a temporary file
  // that is renamed over the output only once it is whole on disk.
  kv_atomic_file* out = nullptr;
  if (output_usable(out_name, symbol)) out = kv_atomic_begin(out_name.c_str(), nullptr);
  if (!out) {
    std::free(image);
    std::printf("Can't create: %s\n", out_name.c_str());
    return 5;
  }
  // Unbuffered, so that a failing write reports what reached the file.
  FILE* f = kv_atomic_stream(out);
  std::setvbuf(f, nullptr, _IONBF, 0);
  size_t written = std::fwrite(image, 1, size, f);
  std::free(image);
  if (written != size) {
    kv_atomic_abort(out);
    std::printf("Write error on output, wrote %d bytes\n", static_cast<int>(written));
    return 6;
  }
  if (!kv_atomic_commit(out, nullptr)) {
    std::printf("Write error on output, wrote %d bytes\n", static_cast<int>(written));
    return 6;
  }
  if (adjustment != 0)
    std::printf(" %s -> %s copied with adjustment=%f\n", in_name, out_name.c_str(), adjustment);
  else
    std::printf(" %s -> %s copied\n", in_name, out_name.c_str());
  return 0;
}
