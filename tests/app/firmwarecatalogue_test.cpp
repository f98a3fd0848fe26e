// The Firmware page's reading of catalogue answers, list entries and HEAD answers, apart from the window.

#include "firmwarecatalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace {

const std::vector<std::string> OkHead{"HTTP/1.1 200 OK", "Content-Type: application/json", ""};

std::vector<std::string> Texts(const TCatalogue& catalogue)
{
    std::vector<std::string> texts;
    for (const TCatalogueEntry& entry : catalogue.Entries) {
        texts.push_back(entry.Text());
    }
    return texts;
}

TEST(FirmwareCatalogueTest, ElementsBecomeEntriesInArrayOrder)
{
    const TCatalogue catalogue = ReadCatalogue(
        200, OkHead, {"[", R"({"name": "a", "version": "1", "kind": 4},)", R"({"version": "2", "name": "b"}])"});
    EXPECT_EQ(Texts(catalogue), (std::vector<std::string>{"a = [1]", "b = [2]"}));
    EXPECT_EQ(catalogue.Error, "");
}

TEST(FirmwareCatalogueTest, EmptyArrayGivesNoEntriesAndNoError)
{
    const TCatalogue catalogue = ReadCatalogue(200, OkHead, {"[]"});
    EXPECT_TRUE(catalogue.Entries.empty());
    EXPECT_EQ(catalogue.Error, "");
}

TEST(FirmwareCatalogueTest, BodyThatIsNotAnArrayIsReported)
{
    for (const auto& lines : {std::vector<std::string>{R"({"name": "a"})"},
                              std::vector<std::string>{"<html>busy</html>"}, std::vector<std::string>{}}) {
        const TCatalogue catalogue = ReadCatalogue(200, OkHead, lines);
        EXPECT_TRUE(catalogue.Entries.empty());
        EXPECT_EQ(catalogue.Error, "Firmware list error: the answer is not a JSON array");
    }
}

TEST(FirmwareCatalogueTest, ErrorStatusIsReportedWithItsStatusLine)
{
    const TCatalogue catalogue =
        ReadCatalogue(503, {"HTTP/1.1 503 Service Unavailable", ""}, {R"([{"name": "a", "version": "1"}])"});
    EXPECT_TRUE(catalogue.Entries.empty());
    EXPECT_EQ(catalogue.Error, "Firmware list error: HTTP/1.1 503 Service Unavailable");
}

TEST(FirmwareCatalogueTest, AnswerWithoutStatusLineIsReported)
{
    const TCatalogue catalogue = ReadCatalogue(0, {}, {"[]"});
    EXPECT_EQ(catalogue.Error, "Firmware list error: the answer has no status line");
}

TEST(FirmwareCatalogueTest, UnreadableElementStopsTheListKeepingEarlierEntries)
{
    const TCatalogue missing = ReadCatalogue(
        200, OkHead, {R"([{"name": "a", "version": "1"}, {"name": "b"}, {"name": "c", "version": "3"}])"});
    EXPECT_EQ(Texts(missing), (std::vector<std::string>{"a = [1]"}));
    EXPECT_EQ(missing.Error, "Firmware list error: element 2 is unreadable: it has no \"version\"");

    const TCatalogue notObject = ReadCatalogue(200, OkHead, {R"([{"name": "a", "version": "1"}, "b"])"});
    EXPECT_EQ(Texts(notObject), (std::vector<std::string>{"a = [1]"}));
    EXPECT_EQ(notObject.Error, "Firmware list error: element 2 is unreadable: it is not an object");
}

// "abc" with its SHA-256.
constexpr char AbcHash[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(FirmwareCatalogueTest, ImageMustMatchTheSizeAndHashTheCatalogueGives)
{
    const TCatalogue catalogue =
        ReadCatalogue(200, OkHead,
                      {R"([{"name": "a", "version": "1", "size": 3, "sha256": ")" + std::string(AbcHash) + R"("},)",
                       R"({"name": "b", "version": "2", "size": 3}, {"name": "c", "version": "3"}])"});
    ASSERT_EQ(catalogue.Entries.size(), 3u);
    EXPECT_EQ(ImageMismatch(catalogue.Entries[0], "abc"), "");
    EXPECT_EQ(ImageMismatch(catalogue.Entries[0], "abd"),
              "the image's SHA-256 is a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9, the "
              "catalogue says " +
                  std::string(AbcHash));
    EXPECT_EQ(ImageMismatch(catalogue.Entries[1], "abcd"), "the image has 4 bytes, the catalogue says 3");
    EXPECT_EQ(ImageMismatch(catalogue.Entries[2], "anything"), "");
}

TEST(FirmwareCatalogueTest, UnreadableSizeOrHashStopsTheListInsteadOfSkippingTheCheck)
{
    for (const char* member :
         {R"("size": "3")", R"("size": -1)", R"("size": 2.5)", R"("sha256": "abc")", R"("sha256": 7)"}) {
        const TCatalogue catalogue =
            ReadCatalogue(200, OkHead, {R"([{"name": "a", "version": "1", )" + std::string(member) + "}]"});
        EXPECT_TRUE(catalogue.Entries.empty()) << member;
        EXPECT_TRUE(catalogue.Error.starts_with("Firmware list error: element 1 is unreadable: ")) << catalogue.Error;
    }
}

TEST(FirmwareCatalogueTest, BarMaximumAddsTheHeadTextToTheLength)
{
    const std::vector<std::string> head{"HTTP/1.1 200 OK", "Content-Length: 1000", ""};
    EXPECT_EQ(DownloadSizeFromHead(head), 1041);
    EXPECT_EQ(DownloadSizeFromHead({"HTTP/1.1 200 OK", "content-length:    7", ""}), 41 + 7);
}

TEST(FirmwareCatalogueTest, HeadWithoutLengthGivesMinusOne)
{
    EXPECT_EQ(DownloadSizeFromHead({"HTTP/1.1 200 OK", "Transfer-Encoding: chunked", ""}), -1);
    EXPECT_EQ(DownloadSizeFromHead({}), -1);
}

TEST(FirmwareCatalogueTest, MalformedOrNegativeLengthMakesTheSizeUnknown)
{
    for (const char* line : {"Content-Length: 12abc", "Content-Length: -5", "Content-Length:", "Content-Length: +5"}) {
        EXPECT_EQ(DownloadSizeFromHead({"HTTP/1.1 200 OK", line, ""}), -1) << line;
    }
}

// Regression: the length was the first line containing "content-length", cut at a fixed column, so a header naming
// it stopped Upload with "'Expose-Headers: Content-Length' is not a valid integer value."
TEST(FirmwareCatalogueTest, LengthIsFoundByTheHeadersExactName)
{
    const std::vector<std::string> head{"HTTP/1.1 200 OK", "Access-Control-Expose-Headers: Content-Length",
                                        "Content-Length: 1000", ""};
    EXPECT_EQ(DownloadSizeFromHead(head), 17 + 47 + 22 + 2 + 1000);
}

TEST(FirmwareCatalogueTest, FailedReadReportsCountNothing)
{
    EXPECT_EQ(ReadCountBytes("65536"), 65536);
    EXPECT_EQ(ReadCountBytes("0"), 0);
    EXPECT_EQ(ReadCountBytes("-1"), 0);
}

TEST(FirmwareCatalogueTest, EnvironmentPointsAtAnotherCatalogue)
{
    ::unsetenv(CatalogueAddressVariable);
    EXPECT_EQ(CatalogueAddress(), DefaultCatalogueAddress);
    ::setenv(CatalogueAddressVariable, "https://127.0.0.1:8443/", 1);
    EXPECT_EQ(CatalogueAddress(), "https://127.0.0.1:8443");
    ::setenv(CatalogueAddressVariable, "", 1);
    EXPECT_EQ(CatalogueAddress(), DefaultCatalogueAddress);
    ::setenv(CatalogueAddressVariable, "http://127.0.0.1:8080", 1);
    EXPECT_THROW(CatalogueAddress(), std::runtime_error);
    ::unsetenv(CatalogueAddressVariable);
}

// Regression: an address without https:// was used silently without TLS, though the catalogue promises a checked
// certificate.
TEST(FirmwareCatalogueTest, OnlyAnHttpsCatalogueAddressIsAccepted)
{
    EXPECT_EQ(CatalogueAddressFrom("HTTPS://catalogue.example:8443/").Address, "HTTPS://catalogue.example:8443");
    for (const char* refused : {"http://catalogue.example", "catalogue.example", "ftp://catalogue.example", "https:/x",
                                "https://", "https:///x"}) {
        const TCatalogueAddress checked = CatalogueAddressFrom(refused);
        EXPECT_EQ(checked.Address, "");
        EXPECT_EQ(checked.Error, "QUORLANE_CATALOGUE_URL is \"" + std::string(refused) +
                                     "\": the firmware catalogue is fetched only over https://");
    }
}

} // namespace
