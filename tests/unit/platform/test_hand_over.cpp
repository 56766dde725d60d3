// A second start's request to the running instance: whatever names it
// carries come back the same, and the receiver, which trusts no request,
// ignores whole any that is not well formed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os/hand_over.h"

namespace {

using Files = std::vector<std::string>;
using namespace std::string_literals;

TEST(HandOver, NamesOfAnyCharacterButNulComeBackInTheirOrder) {
  const Files files{"/home/a b/kick drum.wav", "C:\\Users\\Zoë\\snare\n1.aif", "/tmp/\"'\\;|*?.bin"};
  EXPECT_EQ(os::DecodeHandOver(os::EncodeHandOver(files)), files);
  EXPECT_EQ(os::DecodeHandOver(os::EncodeHandOver({})), Files{});
  EXPECT_EQ(os::DecodeHandOver("raise\n"), Files{}) << "what an older start sends still raises";
}

TEST(HandOver, TheSenderKeepsToTheBoundsTheReceiverChecks) {
  const Files many(100, "/tmp/k.wav");
  const std::optional<Files> first = os::DecodeHandOver(os::EncodeHandOver(many));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), os::kMaxHandedFiles);

  const Files long_names(3, "/" + std::string(30000, 'x'));
  const std::optional<Files> fitting = os::DecodeHandOver(os::EncodeHandOver(long_names));
  ASSERT_TRUE(fitting);
  EXPECT_EQ(fitting->size(), 2u);

  EXPECT_EQ(os::DecodeHandOver(os::EncodeHandOver({"", "/a.wav", "/b\0c.wav"s})), Files{"/a.wav"});
}

TEST(HandOver, ARequestNotWellFormedIsIgnoredWhole) {
  std::string tooMany = "raise\n";
  for (size_t i = 0; i <= os::kMaxHandedFiles; ++i) tooMany += "/k.wav"s + '\0';
  const std::string tooLong = "raise\n" + std::string(os::kMaxHandOverBytes, 'x') + '\0';
  for (const std::string& bad : {""s, "rais"s, "raise"s, "RAISE\n"s, "hello\n/a.wav\0"s, "raise\n/a.wav"s,
                                 "raise\n/a.wav\0/b.wav"s, "raise\n\0"s, "raise\n/a.wav\0\0"s, tooMany, tooLong}) {
    EXPECT_EQ(os::DecodeHandOver(bad), std::nullopt) << testing::PrintToString(bad);
  }
}

}  // namespace
