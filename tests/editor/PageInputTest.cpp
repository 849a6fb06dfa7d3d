// Messages posted by the page: what parses, what is refused, and the tagged payload readers.
#include <gtest/gtest.h>

#include <string>

#include "editor/Base64.h"
#include "editor/PageInput.h"

namespace {

using namespace page_input;
constexpr int kParams = 27;

TEST(PageInput, ParsesEachKindOfMessage) {
  auto set = Parse(R"({"msg":"SPVFUI","paramIdx":3,"value":0.25})", kParams);
  ASSERT_TRUE(set && std::holds_alternative<SetParam>(*set));
  EXPECT_EQ(std::get<SetParam>(*set).paramIdx, 3);
  EXPECT_EQ(std::get<SetParam>(*set).value, 0.25);

  auto begin = Parse(R"({"msg":"BPCFUI","paramIdx":2.9})", kParams);  // truncated toward zero
  ASSERT_TRUE(begin && std::holds_alternative<BeginGesture>(*begin));
  EXPECT_EQ(std::get<BeginGesture>(*begin).paramIdx, 2);
  auto end = Parse(R"({"msg":"EPCFUI","paramIdx":true})", kParams);  // booleans read as 0/1
  ASSERT_TRUE(end && std::holds_alternative<EndGesture>(*end));
  EXPECT_EQ(std::get<EndGesture>(*end).paramIdx, 1);

  const std::string data = Base64Encode("\"paramIdx\":3", 12);
  auto arbitrary = Parse(R"({"msg":"SAMFUI","msgTag":1,"ctrlTag":-1,"data":")" + data + "\"}", kParams);
  ASSERT_TRUE(arbitrary && std::holds_alternative<Arbitrary>(*arbitrary));
  EXPECT_EQ(std::get<Arbitrary>(*arbitrary).msgTag, 1);
  EXPECT_EQ(std::string(std::get<Arbitrary>(*arbitrary).data.begin(), std::get<Arbitrary>(*arbitrary).data.end()),
            "\"paramIdx\":3");
  auto bare = Parse(R"({"msg":"SAMFUI","msgTag":7,"ctrlTag":-1})", kParams);
  ASSERT_TRUE(bare);
  EXPECT_TRUE(std::get<Arbitrary>(*bare).data.empty());

  auto midi = Parse(R"({"msg":"SMMFUI","statusByte":400,"dataByte1":7,"dataByte2":127})", kParams);
  ASSERT_TRUE(midi);
  EXPECT_EQ(std::get<Midi>(*midi).status, 400 & 0xFF);

  auto key = Parse(R"({"msg":"SKPFUI","keyCode":97,"utf8":"1","S":false,"C":true,"A":false,"isUp":false})", kParams);
  ASSERT_TRUE(key && std::holds_alternative<Key>(*key));
  EXPECT_EQ(std::get<Key>(*key).virtualKey, 49);  // keypad 1 becomes the main-row 1
  EXPECT_TRUE(std::get<Key>(*key).control);
  EXPECT_STREQ(std::get<Key>(*key).text, "1");
}

TEST(PageInput, RefusesMalformedMessages) {
  for (const char* bad : {
           "", "not json", "[1,2]", "42", R"("SPVFUI")", R"({"msg":1})", R"({"msg":"NOPE"})",
           R"({"msg":"SPVFUI","paramIdx":3})", R"({"msg":"SPVFUI","paramIdx":3,"value":"0.5"})",
           R"({"msg":"SPVFUI","paramIdx":27,"value":0.5})", R"({"msg":"SPVFUI","paramIdx":-1,"value":0.5})",
           R"({"msg":"SPVFUI","paramIdx":"3","value":0.5})", R"({"msg":"SPVFUI","paramIdx":1e12,"value":0.5})",
           R"({"msg":"BPCFUI"})", R"({"msg":"EPCFUI","paramIdx":99})",
           R"({"msg":"SAMFUI","ctrlTag":-1})", R"({"msg":"SAMFUI","msgTag":"7","ctrlTag":-1})",
           R"({"msg":"SMMFUI","statusByte":144,"dataByte1":60})",
           R"({"msg":"SKPFUI","keyCode":32,"utf8":" ","S":0,"C":false,"A":false})",
           R"({"msg":"SKPFUI","keyCode":32,"utf8":"Space","S":false,"C":false,"A":false})",
           R"({"msg":"SKPFUI","keyCode":32,"utf8":7,"S":false,"C":false,"A":false})",
           R"({"msg":"SKPFUI","keyCode":32,"utf8":" ","S":false,"C":false,"A":false,"isUp":1})",
           R"({"msg":"SPVFUI","paramIdx":3,"value":0.5 /* comment */})",
       })
    EXPECT_FALSE(Parse(bad, kParams).has_value()) << bad;
}

TEST(PageInput, KeyCodes) {
  EXPECT_EQ(TranslateKeyCode(32), 32);
  EXPECT_EQ(TranslateKeyCode(105), 57);
  EXPECT_EQ(TranslateKeyCode(65), 65);
  EXPECT_EQ(TranslateKeyCode(123), 123);
  for (int code : {0, 7, 21, 41, 44, 47, 58, 91, 106, 124, 255, -5}) EXPECT_EQ(TranslateKeyCode(code), 0) << code;
}

TEST(PageInput, ParameterEditPayloads) {
  auto edit = ParseParamEdit(R"({"paramIdx":3,"value":-0.5})", kParams);
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->paramIdx, 3);
  EXPECT_EQ(edit->value, -0.5f);
  EXPECT_EQ(edit->gesture, 's');  // no gesture: a single edit
  edit = ParseParamEdit(R"({"paramIdx": 12,"value": 1.5e1,"gesture":"begin"})", kParams);
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->paramIdx, 12);
  EXPECT_EQ(edit->value, 15.0f);
  EXPECT_EQ(edit->gesture, 'b');
  edit = ParseParamEdit(R"({"paramIdx":0})", kParams);
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->value, 0.0f);
  for (const char* bad : {R"({"value":1})", R"({"paramIdx":27,"value":1})", R"({"paramIdx":-1})",
                          R"({"paramIdx":x})", R"({"paramIdx":1,"value":nan})",
                          R"({"paramIdx":1,"value":1e39})", R"({"paramIdx":1,"value":inf})"})
    EXPECT_FALSE(ParseParamEdit(bad, kParams).has_value()) << bad;
}

TEST(PageInput, ResizeBounds) {
  EXPECT_TRUE(ParseResize(R"({"width":320,"height":200})"));
  EXPECT_TRUE(ParseResize(R"({"width":4096,"height":2160})"));
  EXPECT_FALSE(ParseResize(R"({"width":319,"height":200})"));
  EXPECT_FALSE(ParseResize(R"({"width":320,"height":2161})"));
  EXPECT_FALSE(ParseResize(R"({"width":800})"));
  EXPECT_FALSE(ParseResize(R"({"width":"800","height":600})"));
}

TEST(PageInput, OnlyPlainWebLinksOpen) {
  EXPECT_EQ(ParseLink(R"({"url":"https://tessary.example/zarn"})").value(), "https://tessary.example/zarn");
  EXPECT_EQ(ParseLink(R"({"url":"http://a.b"})").value(), "http://a.b");
  for (const char* bad : {R"({"url":"HTTPS://tessary.example"})", R"({"url":"file:///etc/passwd"})",
                          R"x({"url":"javascript:alert(1)"})x", R"({"url":"https://"})",
                          R"({"url":"http://a b"})", R"({"url":"https://x\\y"})",
                          R"({"url":"https://x'y"})", R"({"link":"https://x"})",
                          "{\"url\":\"https://\xC3\xA9\"}"})
    EXPECT_FALSE(ParseLink(bad).has_value()) << bad;
  EXPECT_FALSE(IsOpenableLink("https://" + std::string(2041, 'a')));
  EXPECT_TRUE(IsOpenableLink("https://" + std::string(2040, 'a')));
}

TEST(PageInput, LenientBase64NeverYieldsANegativeOrHugeSize) {
  EXPECT_TRUE(Base64DecodeLenient("==").empty());
  EXPECT_TRUE(Base64DecodeLenient("=").empty());
  EXPECT_EQ(Base64DecodeLenient("/w==").size(), 1u);
  EXPECT_EQ(Base64DecodeLenient("abc").size(), 2u);
  const auto stopped = Base64DecodeLenient("TWFu*WFu");  // stops at '*', rest zero
  ASSERT_EQ(stopped.size(), 6u);
  EXPECT_EQ(std::string(stopped.begin(), stopped.begin() + 3), "Man");
  EXPECT_EQ(stopped[3], 0);
}

}  // namespace
