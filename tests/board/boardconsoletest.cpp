#include "boardconsole.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Feeds the console and records what it shows and which board messages it hands on, in order.
class BoardConsoleTest : public testing::Test
{
protected:
    void Feed(const std::string& bytes) { Console.Receive(bytes, Sink); }

    TBoardConsole Console;
    std::vector<std::string> Events;
    TBoardConsole::TSink Sink{[this](const std::string& line) { Events.push_back("show:" + line); },
                              [this](const std::string& message) { Events.push_back("json:" + message); }};
};

TEST_F(BoardConsoleTest, NothingIsShownBeforeTheStartMarker)
{
    Feed("boot noise\r\nmore noise\r\n");
    EXPECT_TRUE(Events.empty());
    EXPECT_FALSE(Console.EchoOn);
}

TEST_F(BoardConsoleTest, StartMarkerSplitOverThreeEventsTurnsEchoOnAtTheLineFeed)
{
    Feed("QUORLANE_START");
    EXPECT_FALSE(Console.EchoOn);
    Feed("\r");
    EXPECT_FALSE(Console.EchoOn);
    Feed("\n");
    EXPECT_TRUE(Console.EchoOn);
    EXPECT_EQ(Events, std::vector<std::string>{"show:QUORLANE_START\r"});
}

TEST_F(BoardConsoleTest, StartMarkerWithoutCarriageReturnIsPlainOutput)
{
    Feed("QUORLANE_START\nhello\r\n");
    EXPECT_FALSE(Console.EchoOn);
    EXPECT_TRUE(Events.empty());
}

TEST_F(BoardConsoleTest, LinesAfterTheStartMarkerAreShownAsReceived)
{
    Feed("QUORLANE_START\r\nline one\r\nline two\nhalf");
    EXPECT_EQ(Events, (std::vector<std::string>{"show:QUORLANE_START\r", "show:line one\r", "show:line two"}));
    EXPECT_EQ(Console.LineBuffer, "half");
}

TEST_F(BoardConsoleTest, LineSplitAtEveryByteIsAssembledOnce)
{
    const std::string text = "QUORLANE_START\r\nsplit line\r\n";
    for (char byte : text) {
        Feed(std::string(1, byte));
    }
    EXPECT_EQ(Events, (std::vector<std::string>{"show:QUORLANE_START\r", "show:split line\r"}));
    EXPECT_TRUE(Console.LineBuffer.empty());
}

TEST_F(BoardConsoleTest, JsonMarkerBeforeStartHandsTheMessageOnWithoutShowingIt)
{
    Feed("QUORLANE_JSON {\"operate\":\"INIT\"}\r\n");
    EXPECT_EQ(Events, std::vector<std::string>{"json: {\"operate\":\"INIT\"}\r"});
}

TEST_F(BoardConsoleTest, JsonMarkerAfterStartIsShownThenHandedOn)
{
    Feed("QUORLANE_START\r\nQUORLANE_JSONx\r\n");
    EXPECT_EQ(Events, (std::vector<std::string>{"show:QUORLANE_START\r", "show:QUORLANE_JSONx\r", "json:x\r"}));
}

TEST_F(BoardConsoleTest, JsonMarkerIsCaseSensitive)
{
    Feed("quorlane_json {}\r\nQuorlane_JSON {}\r\n");
    EXPECT_TRUE(Events.empty());
}

TEST_F(BoardConsoleTest, BareJsonMarkerHandsOnEmptyText)
{
    Feed("QUORLANE_JSON\n");
    EXPECT_EQ(Events, std::vector<std::string>{"json:"});
}

TEST_F(BoardConsoleTest, EmptyLinesAreShownOnceEchoIsOn)
{
    Feed("QUORLANE_START\r\n\n\r\n");
    EXPECT_EQ(Events, (std::vector<std::string>{"show:QUORLANE_START\r", "show:", "show:\r"}));
}

TEST_F(BoardConsoleTest, ZeroBytesStayPartOfTheLine)
{
    Feed("QUORLANE_START\r\n");
    Feed(std::string("a\0b\n", 4));
    EXPECT_EQ(Events.back(), std::string("show:a\0b", 8));
}

TEST_F(BoardConsoleTest, ResetEmptiesTheWholeState)
{
    Feed("QUORLANE_START\r\npartial");
    Console.BoardIp = "10.0.0.2";
    Console.BoardGateway = "10.0.0.1";
    Console.BoardNetmask = "255.0.0.0";
    Console.Reset();
    EXPECT_FALSE(Console.EchoOn);
    EXPECT_TRUE(Console.LineBuffer.empty());
    EXPECT_TRUE(Console.BoardIp.empty());
    EXPECT_TRUE(Console.BoardGateway.empty());
    EXPECT_TRUE(Console.BoardNetmask.empty());
}

// A board message handler that processes events can see more bytes arrive. They came after the rest of the read
// that holds the message, so they wait for it: the message line is handed on once, and no line is glued together
// from pieces in the wrong order.
TEST_F(BoardConsoleTest, NestedReceiveDuringAMessageWaitsForTheBytesBeforeIt)
{
    std::vector<std::string> seen;
    TBoardConsole::TSink nested{[&](const std::string& line) { seen.push_back("nested show:" + line); },
                                [&](const std::string& message) { seen.push_back("nested json:" + message); }};
    TBoardConsole::TSink outer{[&](const std::string& line) { seen.push_back("show:" + line); },
                               [&](const std::string& message) {
                                   seen.push_back("json:" + message);
                                   Console.EchoOn = false;
                                   Console.Receive("QUORLANE_START\r\ninner\r\nrest", nested);
                               }};
    Console.Receive("QUORLANE_JSON m\nafter\n", outer);
    EXPECT_EQ(seen, (std::vector<std::string>{"json: m", "show:QUORLANE_START\r", "show:inner\r"}));
    EXPECT_EQ(Console.LineBuffer, "rest");
}

// A board that never sends a line feed: the line stops growing at the limit, the cut is marked, and the rest goes
// on as a line of its own that is shown but never read as a marker; a password value that runs over the cut stays
// hidden in the rest.
TEST_F(BoardConsoleTest, LongLineIsCutMarkedAndGoesOnAsAPlainLine)
{
    const std::size_t limit = TBoardConsole::MaxLineLength;
    const std::string whole(limit, 'w');
    Feed("QUORLANE_START\r\n" + whole + "\n");
    ASSERT_EQ(Events.size(), 2U);
    // Lines of this size are compared without printing them.
    EXPECT_TRUE(Events[1] == "show:" + whole);

    Events.clear();
    const std::string head = "{\"pass\":\"" + std::string(limit - 9, 's');
    Feed(head + "ecret\",\"x\":1}QUORLANE_JSON {}\r\n");
    EXPECT_EQ(Events, (std::vector<std::string>{"show:{\"pass\":\"********" + std::string(TBoardConsole::CutMark),
                                                "show:********\",\"x\":1}QUORLANE_JSON {}\r"}));

    Events.clear();
    for (int piece = 0; piece < 3; ++piece) {
        Feed(std::string(limit, 'z'));
    }
    EXPECT_EQ(Events.size(), 2U);
    EXPECT_EQ(Console.LineBuffer.size(), limit);
    Feed("QUORLANE_JSON {}\n");
    ASSERT_EQ(Events.size(), 4U);
    EXPECT_TRUE(Events[2] == "show:" + std::string(limit, 'z') + std::string(TBoardConsole::CutMark));
    EXPECT_EQ(Events[3], "show:QUORLANE_JSON {}");
}

// The name counts as the parser reads it, and the line is masked whole however many reads brought it, also when
// its second half arrived while the message before it was being handled.
TEST_F(BoardConsoleTest, PasswordsAreMaskedByTheirDecodedNameHoweverTheLineArrives)
{
    const std::string rest = "61ss\":\"secret\",\"board_pass\" : \"b\\\"p\",\"\\u0069nit_pass\":7}\r\n";
    TBoardConsole::TSink sink{Sink.ShowLine, [&](const std::string& message) {
                                  Sink.JsonLine(message);
                                  if (message.find("REBOOT") != std::string::npos) {
                                      Console.Receive(rest, sink);
                                  }
                              }};
    Console.Receive("QUORLANE_START\r\nQUORLANE_JSON {\"operate\":\"REBOOT\"}\r\n"
                    "QUORLANE_JSON {\"operate\":\"INIT\",\"p\\u00",
                    sink);
    ASSERT_EQ(Events.size(), 5U);
    EXPECT_EQ(Events[3], "show:QUORLANE_JSON {\"operate\":\"INIT\",\"p\\u0061ss\":\"********\","
                         "\"board_pass\" : \"********\",\"\\u0069nit_pass\":********}\r");
    EXPECT_EQ(Events[4], "json: {\"operate\":\"INIT\",\"p\\u00" + rest.substr(0, rest.size() - 1));
}

} // namespace
