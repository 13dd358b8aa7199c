// tindral: builds the symbol index symnames.six from exchange
// symbol-directory files.
#include "tools/tindral_cmd.h"

int main(int argc, char** argv) {
  return tindral_main(argc, argv);
}
