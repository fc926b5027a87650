// The presenters' JSON: what the strict reader accepts and refuses, and that whatever the
// writer makes reads back to the same tree.
#include "platform/ui/json_value.h"

#include <gtest/gtest.h>

#include "platform/ui/consent_json.h"

namespace lumora {
namespace {

TEST(JsonValueTest, NestedValuesReadAndWriteBack) {
  const std::string text =
      R"({"kind":"write","texts":{"206":"a \"quoted\"\nline","1":"Allow"},"rows":[["x","\u00e9\ud83d\ude00"],[]],)"
      R"("n":-9223372036854775808,"m":9223372036854775807,"z":0})";
  const std::optional<JsonValue> value = ParseJson(text);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Find("kind")->text(), "write");
  EXPECT_EQ(value->Find("texts")->Find("206")->text(), "a \"quoted\"\nline");
  EXPECT_EQ(value->Find("rows")->items()[0].items()[1].text(), "\xC3\xA9\xF0\x9F\x98\x80") << "escapes become UTF-8";
  EXPECT_TRUE(value->Find("rows")->items()[1].items().empty());
  EXPECT_EQ(value->Find("n")->integer(), INT64_MIN);
  EXPECT_EQ(value->Find("m")->integer(), INT64_MAX);
  EXPECT_EQ(value->Find("missing"), nullptr);
  // Members keep their order, and the written text reads back to the same tree.
  EXPECT_EQ(value->members()[1].first, "texts");
  const std::string written = WriteJson(*value);
  EXPECT_EQ(written.find('\n'), std::string::npos) << "one line";
  EXPECT_EQ(ParseJson(written), value);
  EXPECT_EQ(ParseJson(" \t{ \"a\" : [ 1 , 2 ] }\r\n"),
            JsonValue::Object({{"a", JsonValue::Array({JsonValue::Integer(1), JsonValue::Integer(2)})}}));
}

TEST(JsonValueTest, HostileTextIsRefused) {
  for (const char* bad : {"",
                          "{",
                          "}",
                          "{\"a\":1,}",
                          "[1,]",
                          "{\"a\" 1}",
                          "{\"a\":1}{}",
                          "{\"a\":1} x",
                          "'a'",
                          "{\"a\":1,\"a\":2}",
                          "01",
                          "-",
                          "-01",
                          "1.5",
                          "1e3",
                          "+1",
                          "9223372036854775808",
                          "-9223372036854775809",
                          "true",
                          "null",
                          "\"\\ud800\"",
                          "\"\\udc00\"",
                          "\"\\ud800\\u0041\"",
                          "\"\\x41\"",
                          "\"\\u12\"",
                          "\"tab\there\"",
                          "\"\xC0\xAF\"",
                          "\"\xED\xA0\x80\"",
                          "\"\xF5\x80\x80\x80\"",
                          "\"\xE2\x82\"",
                          "\"unterminated",
                          "{1:2}"}) {
    EXPECT_FALSE(ParseJson(bad)) << bad;
  }
  std::string deep(kMaxJsonDepth, '[');
  deep += std::string(kMaxJsonDepth, ']');
  EXPECT_TRUE(ParseJson(deep)) << "nesting up to the limit";
  EXPECT_FALSE(ParseJson("[" + deep + "]")) << "one deeper";
  EXPECT_FALSE(ParseJson(std::string(100000, '['))) << "no stack is exhausted";
  EXPECT_FALSE(ParseJson(std::string("\"a\0b\"", 5))) << "a raw zero byte is a control character";
}

TEST(JsonValueTest, TheWriterMakesAValidLineOfAnyBytes) {
  const std::string bytes = "ctl\x01\x1f del\x7f latin\xE9 cut\xE2\x82 quote\" back\\ nul";
  const std::string written = WriteJson(JsonValue::String(bytes + std::string(1, '\0')));
  EXPECT_EQ(
      written,
      "\"ctl\\u0001\\u001f del\x7f latin\xEF\xBF\xBD cut\xEF\xBF\xBD\xEF\xBF\xBD quote\\\" back\\\\ nul\\u0000\"");
  const std::optional<JsonValue> back = ParseJson(written);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->text().back(), '\0');
}

TEST(JsonValueTest, AnswerLinesAreReadStrictly) {
  std::string error;
  auto reply = ParseConsentReply(R"({"answer":"close"})", &error);
  ASSERT_TRUE(reply) << error;
  EXPECT_EQ(reply->answer, ConsentAnswer::kClose);
  reply = ParseConsentReply(
      R"({"actions":[{"select":[0,2],"press":"private"},{"select":[],"press":"shared"}],"answer":"allow"})", &error);
  ASSERT_TRUE(reply) << error;
  EXPECT_EQ(reply->answer, ConsentAnswer::kAllow);
  ASSERT_EQ(reply->actions.size(), 2u);
  EXPECT_EQ(reply->actions[0].select, (std::vector<size_t>{0, 2}));
  EXPECT_FALSE(reply->actions[0].shared);
  EXPECT_TRUE(reply->actions[1].shared);
  for (const char* bad :
       {R"({})", R"({"answer":"yes"})", R"({"answer":1})", R"({"answer":"allow","extra":1})",
        R"({"answer":"allow","actions":{}})", R"({"answer":"allow","actions":[{"select":[-1],"press":"shared"}]})",
        R"({"answer":"allow","actions":[{"select":[0],"press":"public"}]})",
        R"({"answer":"allow","actions":[{"select":[0]}]})",
        R"({"answer":"allow","actions":[{"select":[0],"press":"shared","also":1}]})", R"(["answer","allow"])",
        R"({"answer":"ALLOW"})"}) {
    error.clear();
    EXPECT_FALSE(ParseConsentReply(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_FALSE(ParseConsentReply("{\"answer\":\"allow\"}" + std::string(kMaxConsentLineLength, ' '), &error));
}

}  // namespace
}  // namespace lumora
