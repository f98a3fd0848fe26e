#include "settingsline.h"
#include "passwordmask.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsLine, NineMembersInOrderCompactWithOneLineFeed)
{
    const std::string line = BuildSettingsLine(
        {"home", "secret", "quorl", "bp", "QUORL_AP", "appass", "10.0.0.5", "10.0.0.1", "255.255.255.0"});
    EXPECT_EQ(line, R"({"ssid":"home","pass":"secret","board_name":"quorl","board_pass":"bp",)"
                    R"("init_ssid":"QUORL_AP","init_pass":"appass","net_ip":"10.0.0.5","net_gate":"10.0.0.1",)"
                    R"("net_mask":"255.255.255.0"})"
                    "\n");
}

TEST(SettingsLine, EmptyFieldsAreSentAsEmptyStrings)
{
    EXPECT_EQ(BuildSettingsLine({}), R"({"ssid":"","pass":"","board_name":"","board_pass":"","init_ssid":"",)"
                                     R"("init_pass":"","net_ip":"","net_gate":"","net_mask":""})"
                                     "\n");
}

TEST(SettingsLine, NonAsciiTravelsAsRawUtf8)
{
    const std::string line = BuildSettingsLine({"caf\xC3\xA9", "\xD0\x9F"});
    EXPECT_TRUE(line.starts_with("{\"ssid\":\"caf\xC3\xA9\",\"pass\":\"\xD0\x9F\",\"board_name\":")) << line;
}

TEST(SettingsLine, QuotesBackslashesAndSolidusAreEscaped)
{
    const std::string line = BuildSettingsLine({"a\"b\\c/d"});
    EXPECT_TRUE(line.starts_with(R"({"ssid":"a\"b\\c\/d","pass":)")) << line;
}

TEST(SettingsLine, ControlCharactersNeverEndTheLineEarly)
{
    const std::string line = BuildSettingsLine({"a\nb\rc"});
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_TRUE(line.starts_with(R"({"ssid":"a\nb\rc","pass":)")) << line;
}

TEST(SettingsLine, ShownCopyHidesEveryPasswordAndNothingElse)
{
    const std::string line = BuildSettingsLine(
        {"pass", "se\"cr\\et", "quorl", "bp", "QUORL_AP", "\"pass\":\"x\"", "10.0.0.5", "10.0.0.1", "255.0.0.0"});
    EXPECT_EQ(MaskPasswords(line),
              R"({"ssid":"pass","pass":"********","board_name":"quorl","board_pass":"********",)"
              R"("init_ssid":"QUORL_AP","init_pass":"********","net_ip":"10.0.0.5","net_gate":"10.0.0.1",)"
              R"("net_mask":"255.0.0.0"})"
              "\n");
    // A line cut off inside a password still hides what arrived of it.
    EXPECT_EQ(MaskPasswords(R"(QUORLANE_JSON {"operate":"INIT","pass" : "half)"),
              R"(QUORLANE_JSON {"operate":"INIT","pass" : "********)");
}

} // namespace
