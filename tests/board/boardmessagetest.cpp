#include "boardmessage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// A board message as the console hands it over: a blank, the object, the carriage return.
TBoardMessage Decode(const std::string& object)
{
    return DecodeBoardMessage(" " + object + "\r");
}

const std::string FullInit = R"({"operate":"INIT","ssid":"home","pass":"secret","board_name":"quorl",)"
                             R"("board_pass":"bp","init_ssid":"QUORL_AP","init_pass":"appass","net_ip":"10.0.0.5",)"
                             R"("net_gate":"10.0.0.1","net_mask":"255.255.255.0","scan":["home","cafe","lab"]})";

const std::string ScanList = R"(["home","cafe","lab"])";

TEST(BoardMessageInit, ReadsTheNineFieldsInOrderAndTheScanList)
{
    const TBoardMessage message = Decode(FullInit);
    EXPECT_EQ(message.Kind, TBoardMessage::Init);
    EXPECT_EQ(message.Fields, (Strings{"home", "secret", "quorl", "bp", "QUORL_AP", "appass", "10.0.0.5", "10.0.0.1",
                                       "255.255.255.0"}));
    ASSERT_TRUE(message.Scan);
    EXPECT_EQ(*message.Scan, (Strings{"home", "cafe", "lab"}));
}

TEST(BoardMessageInit, MissingNetMaskStopsAfterTheGateway)
{
    const TBoardMessage message =
        Decode(R"({"operate":"INIT","ssid":"s","pass":"p","board_name":"n","board_pass":"b","init_ssid":"i",)"
               R"("init_pass":"j","net_ip":"1","net_gate":"2","scan":["x"]})");
    EXPECT_EQ(message.Kind, TBoardMessage::Init);
    EXPECT_EQ(message.Fields, (Strings{"s", "p", "n", "b", "i", "j", "1", "2"}));
    EXPECT_FALSE(message.Scan);
}

TEST(BoardMessageInit, MissingScanEmptiesTheNetworkList)
{
    const TBoardMessage message = Decode(
        R"({"operate":"INIT","ssid":"s","pass":"","board_name":"","board_pass":"","init_ssid":"","init_pass":"",)"
        R"("net_ip":"","net_gate":"","net_mask":""})");
    EXPECT_EQ(message.Fields.size(), 9U);
    ASSERT_TRUE(message.Scan);
    EXPECT_TRUE(message.Scan->empty());
}

TEST(BoardMessageInit, ScanThatIsNoArrayLeavesTheListAlone)
{
    std::string text = FullInit;
    text.replace(text.find(ScanList), ScanList.size(), R"("home")");
    const TBoardMessage message = Decode(text);
    EXPECT_EQ(message.Fields.size(), 9U);
    EXPECT_FALSE(message.Scan);
}

TEST(BoardMessageInit, NullScanEntryEndsTheListThere)
{
    std::string text = FullInit;
    text.replace(text.find(R"("cafe")"), 6, "null");
    const TBoardMessage message = Decode(text);
    ASSERT_TRUE(message.Scan);
    EXPECT_EQ(*message.Scan, Strings{"home"});
}

TEST(BoardMessageInit, EmptyScanGivesAnEmptyList)
{
    std::string text = FullInit;
    text.replace(text.find(ScanList), ScanList.size(), "[]");
    const TBoardMessage message = Decode(text);
    ASSERT_TRUE(message.Scan);
    EXPECT_TRUE(message.Scan->empty());
}

TEST(BoardMessageInit, NonStringMembersShowAsTheTextOfTheirValue)
{
    const TBoardMessage message =
        Decode(R"({"operate":"INIT","ssid":null,"pass":12,"board_name":true,"board_pass":[1],"init_ssid":{},)"
               R"("init_pass":2.5,"net_ip":"","net_gate":"","net_mask":"","scan":[]})");
    ASSERT_EQ(message.Fields.size(), 9U);
    EXPECT_EQ(message.Fields[0], "");
    EXPECT_EQ(message.Fields[1], "12");
    EXPECT_EQ(message.Fields[2], "True");
    EXPECT_EQ(message.Fields[3], "");
    EXPECT_EQ(message.Fields[4], "");
    EXPECT_EQ(message.Fields[5], "2.5");
}

TEST(BoardMessageInit, NonAsciiTextArrivesAsUtf8)
{
    std::string text = FullInit;
    text.replace(text.find(R"("home",)"), 7, "\"caf\xC3\xA9\\u00e9\",");
    const TBoardMessage message = Decode(text);
    ASSERT_FALSE(message.Fields.empty());
    EXPECT_EQ(message.Fields[0], "caf\xC3\xA9\xC3\xA9");
}

TEST(BoardMessageInit, ScanKeepsEachNetworkOnceUpToTheLimit)
{
    std::string scan = R"(["lab")";
    for (std::size_t network = 0; network <= MaxScanNetworks; ++network) {
        scan += ",\"net" + std::to_string(network) + "\",\"lab\"";
    }
    std::string text = FullInit;
    text.replace(text.find(ScanList), ScanList.size(), scan + "]");
    const TBoardMessage message = Decode(text);
    ASSERT_TRUE(message.Scan);
    ASSERT_EQ(message.Scan->size(), MaxScanNetworks);
    EXPECT_EQ(message.Scan->front(), "lab");
    EXPECT_EQ((*message.Scan)[1], "net0");
    EXPECT_EQ(message.Scan->back(), "net" + std::to_string(MaxScanNetworks - 2));
}

TEST(BoardMessageAccess, ReadsAddressGatewayAndNetmask)
{
    const TBoardMessage message =
        Decode(R"({"operate":"ACCESS","ip":"192.168.1.20","gate":"192.168.1.1","mask":"255.255.255.0"})");
    EXPECT_EQ(message.Kind, TBoardMessage::Access);
    EXPECT_EQ(message.Address, (Strings{"192.168.1.20", "192.168.1.1", "255.255.255.0"}));
}

TEST(BoardMessageAccess, MissingGatewayKeepsOnlyTheAddress)
{
    const TBoardMessage message = Decode(R"({"operate":"ACCESS","ip":"10.1.1.1","mask":"255.0.0.0"})");
    EXPECT_EQ(message.Address, Strings{"10.1.1.1"});
}

TEST(BoardMessageKinds, RebootIsRecognised)
{
    EXPECT_EQ(Decode(R"({"operate":"REBOOT"})").Kind, TBoardMessage::Reboot);
}

TEST(BoardMessageKinds, OperateIsCaseSensitive)
{
    EXPECT_EQ(Decode(R"({"operate":"init","ssid":"s"})").Kind, TBoardMessage::None);
    EXPECT_EQ(Decode(R"({"operate":"Reboot"})").Kind, TBoardMessage::None);
}

TEST(BoardMessageKinds, UnreadableTextIsIgnored)
{
    EXPECT_EQ(DecodeBoardMessage("x").Kind, TBoardMessage::None);
    EXPECT_EQ(DecodeBoardMessage("").Kind, TBoardMessage::None);
    EXPECT_EQ(Decode(R"(["operate","INIT"])").Kind, TBoardMessage::None);
    EXPECT_EQ(Decode(R"({"ssid":"s"})").Kind, TBoardMessage::None);
    EXPECT_EQ(Decode(R"({"operate":"INIT")").Kind, TBoardMessage::None);
}

TEST(AccessFields, MembersFollowTheSettingsOrder)
{
    const Strings expected{"ssid",      "pass",   "board_name", "board_pass", "init_ssid",
                           "init_pass", "net_ip", "net_gate",   "net_mask"};
    Strings members;
    for (int field = 0; field < AccessFieldCount; ++field) {
        members.push_back(AccessFieldMember(static_cast<TAccessField>(field)));
    }
    EXPECT_EQ(members, expected);
}

} // namespace
