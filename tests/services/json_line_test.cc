// The services' record codec: what it writes it reads back, and it refuses what is not
// one flat object; and the state file's line reader.
#include "services/json_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "services/state_file.h"
#include "tests/support/temp_home.h"

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

namespace lumora::services {
namespace {

// The state file's line reader against the obvious one (split at newlines, drop empty
// and overlong lines), on files whose lines straddle the reader's 64 KiB chunks and the
// 1 MiB limit, with and without a last newline.
TEST(StateFileLinesTest, ReadsWhatASimpleSplitReads) {
  testing::TempHome home;
  const StateFile file("lines.jsonl");
  std::mt19937 random(20240607);
  const size_t lengths[] = {
      0, 1, 2, 65535, 65536, 65537, 131072, kMaxLineLength - 1, kMaxLineLength, kMaxLineLength + 1, 3 * 65536 + 7};
  for (int round = 0; round < 12; ++round) {
    std::string data;
    std::vector<std::string> expected;
    const int count = 1 + static_cast<int>(random() % 9);
    for (int i = 0; i < count; ++i) {
      const size_t length = random() % 3 == 0 ? lengths[random() % std::size(lengths)] : random() % 300;
      const std::string line(length, static_cast<char>('a' + random() % 26));
      data += line;
      const bool last = i + 1 == count;
      if (!last || round % 2 == 0) data += '\n';
      if (!line.empty() && line.size() <= kMaxLineLength) expected.push_back(line);
    }
    std::ofstream(file.Path(), std::ios::binary | std::ios::trunc) << data;
    std::vector<std::string> lines;
    ASSERT_EQ(file.ReadLines(&lines), S_OK);
    ASSERT_EQ(lines.size(), expected.size()) << "round " << round;
    for (size_t i = 0; i < lines.size(); ++i)
      EXPECT_TRUE(lines[i] == expected[i]) << "round " << round << " line " << i;
  }
  std::filesystem::remove(file.Path());
  std::vector<std::string> lines = {"stale"};
  ASSERT_EQ(file.ReadLines(&lines), S_OK);
  EXPECT_TRUE(lines.empty()) << "no file, no lines";
}

}  // namespace
}  // namespace lumora::services
