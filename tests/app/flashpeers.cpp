#include "flashpeers.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

TSimulatedBoard::TSimulatedBoard(const TTempDir& dir, const std::vector<std::string>& options, const std::string& name)
    : FFlash(dir.File(name + "-flash.bin"))
{
    const std::string ptyFile = dir.File(name + ".pty");
    std::vector<std::string> argv{"/usr/bin/python3", QUORLANE_BOARDSIM, "--pty-file", ptyFile, "--flash", FFlash};
    argv.insert(argv.end(), options.begin(), options.end());
    FProcess = std::make_unique<TServerProcess>(argv, dir.File(name + ".out"));
    for (int wait = 0; wait < 1000 && !fs::exists(ptyFile); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream(ptyFile) >> FPath;
}

std::string TSimulatedBoard::Flash() const
{
    return ReadWholeFile(FFlash);
}

TDemoCatalogue::TDemoCatalogue(const TTempDir& dir)
{
    const std::string data = dir.File("catalogue");
    RunCommand({QUORLANE_MAKE_DEMO, data}, dir.File("make-demo.out"));
    const std::string catalogue = ReadWholeFile(data + "/catalogue.json");
    for (const auto& entry : nlohmann::json::parse(catalogue)) {
        const std::string version = entry["version"];
        FImages[version] = ReadWholeFile(data + "/images/" + version);
        FVersions.push_back(version);
    }
    FServer = std::make_unique<TCatalogueServer>(catalogue, FImages);
}

bool ProcessNames(const std::string& path)
{
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string arguments((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (arguments.find(path + '\0') != std::string::npos) {
            return true;
        }
    }
    return false;
}
