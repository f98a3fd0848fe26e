#include "credentialpolicy.h"

#include <gtest/gtest.h>

namespace {

const QString Realm = "Quorlane board";

} // namespace

class CredentialPolicyTest : public testing::Test
{
protected:
    void BoardAt(const QString& url)
    {
        policy.SetBoardUrl(url);
        policy.BeginLoad();
    }

    TCredentialPolicy policy;
};

TEST_F(CredentialPolicyTest, BoardHostOnDefaultPortIsAnswered)
{
    BoardAt("http://192.168.4.20");
    EXPECT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
}

TEST_F(CredentialPolicyTest, BoardHostWithItsPortIsAnswered)
{
    BoardAt("http://127.0.0.1:8123");
    EXPECT_TRUE(policy.MayAnswer(false, "127.0.0.1", 8123, Realm));
}

TEST_F(CredentialPolicyTest, BoardHostOnAnotherPortIsRefused)
{
    BoardAt("http://127.0.0.1:8123");
    EXPECT_FALSE(policy.MayAnswer(false, "127.0.0.1", 8124, Realm));
    EXPECT_FALSE(policy.MayAnswer(false, "127.0.0.1", 80, Realm));
}

TEST_F(CredentialPolicyTest, ForeignHostIsRefused)
{
    BoardAt("http://192.168.4.20");
    EXPECT_FALSE(policy.MayAnswer(false, "192.168.4.21", 80, Realm));
    EXPECT_FALSE(policy.MayAnswer(false, "example.org", 80, Realm));
    EXPECT_FALSE(policy.MayAnswer(false, "192.168.4.200", 80, Realm));
}

TEST_F(CredentialPolicyTest, ProxyIsRefusedEvenOnTheBoardsAddress)
{
    BoardAt("http://192.168.4.20");
    EXPECT_FALSE(policy.MayAnswer(true, "192.168.4.20", 80, Realm));
    EXPECT_FALSE(policy.MayAnswer(true, "192.168.4.20", 0, Realm));
}

TEST_F(CredentialPolicyTest, HostNamesCompareWithoutCase)
{
    BoardAt("http://Board.Local");
    EXPECT_TRUE(policy.MayAnswer(false, "BOARD.local", 80, Realm));
}

TEST_F(CredentialPolicyTest, BracketedIpv6BoardMatchesTheEnginesHost)
{
    BoardAt("http://[fe80::1]:8080");
    EXPECT_TRUE(policy.MayAnswer(false, "fe80::1", 8080, Realm));
}

TEST_F(CredentialPolicyTest, NoBoardAddressRefusesEveryRequest)
{
    BoardAt("http://");
    EXPECT_FALSE(policy.MayAnswer(false, "", 80, Realm));
    EXPECT_FALSE(policy.MayAnswer(false, "127.0.0.1", 80, Realm));
}

TEST_F(CredentialPolicyTest, PolicyWithoutBoardRefusesEveryRequest)
{
    EXPECT_FALSE(policy.MayAnswer(false, "", 80, Realm));
}

TEST_F(CredentialPolicyTest, SecondRequestForSameRealmInOneLoadIsRefused)
{
    BoardAt("http://192.168.4.20");
    ASSERT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
    EXPECT_FALSE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
    EXPECT_FALSE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
}

TEST_F(CredentialPolicyTest, AnotherRealmOfTheBoardIsAnsweredOnce)
{
    BoardAt("http://192.168.4.20");
    ASSERT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
    EXPECT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, "Admin"));
    EXPECT_FALSE(policy.MayAnswer(false, "192.168.4.20", 80, "Admin"));
}

TEST_F(CredentialPolicyTest, NewLoadAnswersAgain)
{
    BoardAt("http://192.168.4.20");
    ASSERT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
    policy.BeginLoad();
    EXPECT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
}

TEST_F(CredentialPolicyTest, NewBoardAddressReplacesTheOld)
{
    BoardAt("http://192.168.4.20");
    policy.SetBoardUrl("http://192.168.4.30");
    EXPECT_FALSE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
    EXPECT_TRUE(policy.MayAnswer(false, "192.168.4.30", 80, Realm));
}

TEST_F(CredentialPolicyTest, BoardAddressWithPathStillNamesTheHost)
{
    BoardAt("http://192.168.4.20/setup");
    EXPECT_TRUE(policy.MayAnswer(false, "192.168.4.20", 80, Realm));
}
