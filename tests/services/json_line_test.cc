// The services' record codec: what it writes it reads back, and it refuses what is not
// one flat object.
#include "services/json_line.h"

#include <gtest/gtest.h>

namespace lumora::services {
namespace {

TEST(JsonLineTest, RoundTripsEveryKindOfValue) {
  const std::string awkward = "quote \" backslash \\ newline \n tab \t bell \x07 euro \xE2\x82\xAC";
  const std::string line = WriteJsonLine({{"text", JsonValue::String(awkward)},
                                          {"n", JsonValue::Integer(-2147483648LL)},
                                          {"list", JsonValue::Strings({"a", "", "c\"d"})},
                                          {"none", JsonValue::Strings({})}});
  EXPECT_EQ(line.find('\n'), std::string::npos) << "one record, one line";
  JsonObject object;
  ASSERT_TRUE(ParseJsonLine(line, &object)) << line;
  EXPECT_EQ(TextField(object, "text"), awkward);
  EXPECT_EQ(IntegerField(object, "n"), -2147483648LL);
  EXPECT_EQ(object["list"].strings, (std::vector<std::string>{"a", "", "c\"d"}));
  EXPECT_TRUE(object["none"].strings.empty());
  EXPECT_EQ(TextField(object, "n"), "") << "a mistyped field reads as its default";
  EXPECT_EQ(IntegerField(object, "absent"), 0);
  ASSERT_TRUE(ParseJsonLine(R"({"u":"\u00e9\u20ac"})", &object));
  EXPECT_EQ(TextField(object, "u"), "\xC3\xA9\xE2\x82\xAC");
}

TEST(JsonLineTest, RefusesMalformedLines) {
  JsonObject object;
  for (const char* bad : {"", "{", "{\"a\":}", "{\"a\":\"x}", "{\"a\":1,}", "{\"a\":1} trailing", "[1]", "{\"a\":[1]}",
                          "{a:1}", "{\"a\":\"\\q\"}", "{\"a\":-}"}) {
    EXPECT_FALSE(ParseJsonLine(bad, &object)) << bad;
  }
  EXPECT_TRUE(ParseJsonLine("{}", &object));
  EXPECT_TRUE(ParseJsonLine(" { \"a\" : 1 , \"b\" : \"x\" } ", &object));
}

}  // namespace
}  // namespace lumora::services
