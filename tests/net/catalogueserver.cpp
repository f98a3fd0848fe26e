#include "catalogueserver.h"

#include "freeport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quorlane::testsupport;

TCatalogueServer::TCatalogueServer(const std::string& catalogue, const std::map<std::string, std::string>& images,
                                   const std::string& certificateHost, int rate)
    : FCertificates(FDir)
{
    std::filesystem::create_directories(FDir.File("data/images"));
    FDir.Write("data/catalogue.json", catalogue);
    for (const auto& [version, bytes] : images) {
        FDir.Write("data/images/" + version, bytes);
    }
    const TKeyPair pair = FCertificates.Issue(certificateHost);
    FPort = FreeLoopbackPort();
    FProcess = std::make_unique<TServerProcess>(
        std::vector<std::string>{std::string(QUORLANE_SOURCE_DIR) + "/tools/catalogue/serve", "--data",
                                 FDir.File("data"), "--run", FDir.File("run"), "--port", std::to_string(FPort),
                                 "--cert", pair.CertificateFile, "--key", pair.KeyFile, "--rate", std::to_string(rate)},
        FDir.File("serve.log"));
    EXPECT_TRUE(WaitForPort(FPort)) << "catalogue did not start: " << ReadWholeFile(FDir.File("serve.log"))
                                    << ReadWholeFile(FDir.File("run/error.log"));
}

std::string TCatalogueServer::Address() const
{
    return "https://127.0.0.1:" + std::to_string(FPort);
}

std::string TCatalogueServer::AccessLog() const
{
    return ReadWholeFile(FDir.File("run/access.log"));
}
