// BSTR allocation, lengths and binary content; the Bstr owner; UTF conversion.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>

#include "lumora/utf.h"
#include "lumora/values.h"

namespace lumora {
namespace {

TEST(BstrTest, LengthsCountEmbeddedZerosAndOddBytes) {
  const OLECHAR text[] = {u'a', 0, u'b', 0, u'c'};
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(std::memcmp(s, text, sizeof text), 0);
  EXPECT_EQ(s[5], 0) << "a BSTR is terminated past its length";
  SysFreeString(s);

  const char bytes[] = {'\x01', '\0', '\x02', '\0', '\xff'};
  BSTR b = SysAllocStringByteLen(bytes, 5);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringByteLen(b), 5u);
  EXPECT_EQ(SysStringLen(b), 2u) << "an odd byte count rounds the character count down";
  EXPECT_EQ(std::memcmp(b, bytes, 5), 0);
  EXPECT_EQ(reinterpret_cast<const char*>(b)[5], 0);
  EXPECT_EQ(reinterpret_cast<const char*>(b)[6], 0);
  SysFreeString(b);

  BSTR zeroed = SysAllocStringByteLen(nullptr, 3);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(std::memcmp(zeroed, "\0\0\0", 3), 0);
  SysFreeString(zeroed);
}

TEST(BstrTest, NullIsTheEmptyString) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
  EXPECT_TRUE(Bstr::View(nullptr).empty());
  EXPECT_EQ(Bstr::ToUtf8(nullptr), "");
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr) << "an empty string is still a string";
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
  EXPECT_EQ(SysAllocStringLen(u"x", 0x7FFFFFFF), nullptr) << "absurd lengths are refused";
}

TEST(BstrTest, OwnerKeepsBinaryContentAndFreesOldValues) {
  const std::string bytes("\x30\x82\x00\x05\x00", 5);
  Bstr original = Bstr::FromBytes(bytes);
  Bstr copy = Bstr::Copy(original.get());
  EXPECT_NE(copy.get(), original.get());
  EXPECT_EQ(SysStringByteLen(copy.get()), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.get()), 5), bytes);

  Bstr owner = Bstr::FromUtf8("first");
  *owner.put() = SysAllocString(u"second");  // put() freed "first"
  EXPECT_EQ(owner.ToUtf8(), "second");
  BSTR raw = owner.detach();
  EXPECT_FALSE(owner);
  owner.attach(raw);
  owner.reset();
  EXPECT_EQ(owner.get(), nullptr);
  EXPECT_TRUE(Bstr::FromUtf8("")) << "empty text allocates, so null means failure";
  EXPECT_FALSE(Bstr::Copy(nullptr));
}

TEST(UtfTest, RoundTripsAndReplacesMalformedInput) {
  const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80";  // Zürich € 😀
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 11u) << "the emoji takes a surrogate pair";
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD") << "a truncated sequence";
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD") << "an overlong form";
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD") << "a lone surrogate";
}

// The converters write into buffers sized for the worst case; under the sanitizers a
// wrong bound shows here. Texts mix ASCII runs of every length with each kind of sequence.
TEST(UtfTest, WorstCaseTextsFitAndEveryPositionConverts) {
  EXPECT_EQ(Utf8ToUtf16(std::string(64, '\xFF')), std::u16string(64, u'\uFFFD')) << "one unit per bad byte";
  std::string emoji;
  for (int i = 0; i < 16; ++i) emoji += "\xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8ToUtf16(emoji).size(), 32u);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(64, u'\uFFEE')).size(), 192u) << "three bytes per unit";
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDFFF')), "\xEF\xBF\xBD") << "a lone low surrogate";
  for (const std::string piece : {"\xC3\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x7F"}) {
    for (size_t before = 0; before < 20; ++before) {
      const std::string text = std::string(before, 'a') + piece + std::string(19 - before, 'b');
      const std::u16string wide = Utf8ToUtf16(text);
      EXPECT_EQ(Utf16ToUtf8(wide), text);
      const Bstr bstr = Bstr::FromUtf8(text);
      EXPECT_EQ(std::u16string_view(bstr.get(), SysStringLen(bstr.get())), wide) << text;
      EXPECT_EQ(bstr.ToUtf8(), text);
    }
  }
  const Bstr withZero = Bstr::FromUtf8(std::string("a\0b", 3));
  EXPECT_EQ(SysStringLen(withZero.get()), 3u) << "an ASCII text keeps its zero bytes";
  EXPECT_EQ(withZero.ToUtf8(), std::string("a\0b", 3));
}

// A BSTR counts its length in 32 bits. A text past that gets no string, as a failed
// allocation does: a string cut to the count's low bits would lose the rest of the value,
// and writing the whole text into a string of that size would run past its end. The
// texts are zero pages mapped read-only, so they cost address space, not memory.
TEST(BstrTest, TextsTooLongForALengthGetNoString) {
  constexpr size_t kPast = (size_t{1} << 32) + 16;
  void* pages = mmap(nullptr, 2 * kPast, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  const auto* bytes = static_cast<const char*>(pages);
  EXPECT_FALSE(Bstr::FromUtf8(std::string_view(bytes, kPast))) << "ASCII (zero bytes) past the count";
  EXPECT_FALSE(Bstr::FromBytes(std::string_view(bytes, kPast)));
  EXPECT_FALSE(Bstr::FromUtf16(std::u16string_view(static_cast<const char16_t*>(pages), kPast)));
  munmap(pages, 2 * kPast);
}

}  // namespace
}  // namespace lumora
