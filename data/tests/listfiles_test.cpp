// Directory lister.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/listfiles.h"
#include "data/tokenfile.h"
#include "platform/testing/fixture.h"

namespace {

class ListFilesTest : public TempRootTest {
 protected:
  std::vector<std::string> list(const std::string &pattern, int flags) {
    int count = -1;
    char **names = nullptr;
    EXPECT_EQ(list_files(root_.file(pattern.c_str()).c_str(), &count, &names, flags), 1) << pattern;
    std::vector<std::string> got;
    for (int i = 0; i < count; i++) got.push_back(names[i]);
    if (names) EXPECT_EQ(names[count], nullptr);
    free_tokens(names);
    return got;
  }
};

TEST_F(ListFilesTest, PatternsFlagsAndOrder) {
  for (const char *f : {"ACCOUNTS/zeta.trades", "ACCOUNTS/Alpha.trades", "ACCOUNTS/beta.TRADES",
                        "ACCOUNTS/notes.txt", "ACCOUNTS/sub.trades/x"})
    root_.write(f, "x");
  using V = std::vector<std::string>;
  EXPECT_EQ(list("ACCOUNTS/*.trades", 0), (V{"Alpha.trades", "beta.TRADES", "zeta.trades"}));
  EXPECT_EQ(list("ACCOUNTS/*.trades", LIST_FILES_NO_EXT), (V{"Alpha", "beta", "zeta"}));
  EXPECT_EQ(list("ACCOUNTS\\*.trades", LIST_FILES_DIRS),
            (V{"Alpha.trades", "beta.TRADES", "sub.trades", "zeta.trades"}));
  EXPECT_EQ(list("accounts/[ab]*", 0), (V{"Alpha.trades", "beta.TRADES"}));
  EXPECT_EQ(list("ACCOUNTS/*.none", 0), V{});
  EXPECT_EQ(list("MISSING/*.*", 0), V{});
}

}  // namespace
