// The advisor data of TWS (groups, allocation profiles, account aliases)
// on arbitrary text: the first byte picks the data type, the rest is the
// XML as message 16 carries it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "broker/twsacct.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int accounts = tws_managed_accounts("DU1,DU2,DU3");
  (void)accounts;
  if (size < 1 || size > 16383) return 0;
  std::string xml((const char*)data + 1, size - 1);
  tws_receive_fa(data[0] % 5, xml.c_str());
  const char* const* list = build_advisor_list();
  if (list[0]) set_advisor_target(list[0]);
  return 0;
}
