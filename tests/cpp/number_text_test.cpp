// Number and text forms that diagnostic lines and records share with the host.
#include "common/number_text.h"

#include <gtest/gtest.h>

#include "common/text_repr.h"

namespace core_calc {
namespace {

TEST(FloatText, MatchesTheHostsStr) {
  const std::pair<double, const char*> cases[] = {{100.0, "100.0"},
                                                  {5.0, "5.0"},
                                                  {0.1, "0.1"},
                                                  {1e16, "1e+16"},
                                                  {1.5e-05, "1.5e-05"},
                                                  {-0.0, "-0.0"},
                                                  {123456.789, "123456.789"},
                                                  {0.0001, "0.0001"},
                                                  {1e15, "1000000000000000.0"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(float_text(value), text) << value;
}

TEST(WholeNumberText, TruncatesTowardZero) {
  EXPECT_EQ(whole_number_text(812.97), "812");
  EXPECT_EQ(whole_number_text(-0.5), "0");
  EXPECT_EQ(whole_number_text(-3.9), "-3");
  EXPECT_EQ(whole_number_text(1e20), "100000000000000000000");
}

TEST(QuotedText, QuotesAndEscapesLikeTheHost) {
  const std::pair<const char*, const char*> cases[] = {
      {"RW09", "'RW09'"},           {"O'HARE", "\"O'HARE\""},
      {"A\"B'C", "'A\"B\\'C'"},     {"a\\b\nc\td", "'a\\\\b\\nc\\td'"},
      {"\x01", "'\\x01'"},          {"机场ÄÖ", "'机场ÄÖ'"},
      {"\xc2\xa0", "'\\xa0'"},         // no-break space does not print
      {"\xe2\x80\xa8", "'\\u2028'"}};  // nor does a line separator
  for (const auto& [text, quoted] : cases) EXPECT_EQ(quoted_text(text), quoted) << text;
}

}  // namespace
}  // namespace core_calc
