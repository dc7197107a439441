#include "files/cp932.h"

#include <gtest/gtest.h>

namespace larimo {
namespace {

// Once the first character the code page could not hold, every later
// non-ASCII character became '?' ("aé日本" was stored as "a???"), and the
// JIS forms of the wave dash and its kin were lost. Bytes written by hand.
TEST(Cp932, EveryCharacterIsJudgedAloneAndJisFormsAreStored) {
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"a\u00E9\u65E5\u672C", "613f93fa967b"},                         // aé日本
      {u"\u20AC\u3042\u20AC\u3044", "3f82a03f82a2"},                    // €あ€い
      {u"\u2460\uFF5E\\\uFF21\u6E2C\u5B9A", "874081605c826091aa92e8"},  // ①～\Ａ測定
      {u"\u301C\u2212\u2016\u2014\u00A2\u00A3\u00AC", "8160817c8161815c8191819281ca"},
      {u"x\U0001F600y\xD800z", "783f793f7a"},  // one '?' per character
  };
  for (const auto& [text, hex] : cases) {
    EXPECT_EQ(EncodeCp932(QString::fromUtf16(text)).toHex(), QByteArray(hex)) << hex;
  }
  // A limit never splits a character.
  EXPECT_EQ(EncodeCp932(QString::fromUtf16(u"\u3042\u3044\u3046"), 5).toHex(), "82a082a2");
}

}  // namespace
}  // namespace larimo
