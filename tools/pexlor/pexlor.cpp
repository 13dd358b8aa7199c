// pexlor: copies a price file to a new file for another symbol, optionally
// shifting every price by a fixed amount.
#include "tools/pexlor_cmd.h"

int main(int argc, char** argv) {
  return pexlor_main(argc, argv);
}
