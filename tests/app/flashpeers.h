#pragma once

#include "catalogueserver.h"
#include "serverprocess.h"
#include "tempdir.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The peers of a flash with the real tools: the board simulator with its bootloader and its flash in a file, and the
// demo catalogue as tools/catalogue makes it, served by nginx over HTTPS.

class TSimulatedBoard
{
public:
    // The simulator's files in dir are named after name, so that several boards can share a directory.
    TSimulatedBoard(const quorlane::testsupport::TTempDir& dir, const std::vector<std::string>& options,
                    const std::string& name = "board");

    const std::string& Path() const { return FPath; }
    std::string Flash() const;

private:
    std::string FFlash;
    std::unique_ptr<quorlane::testsupport::TServerProcess> FProcess;
    std::string FPath;
};

class TDemoCatalogue
{
public:
    explicit TDemoCatalogue(const quorlane::testsupport::TTempDir& dir);

    const TCatalogueServer& Server() const { return *FServer; }
    const std::string& Image(const std::string& version) const { return FImages.at(version); }
    // The version of the catalogue's entry at position.
    const std::string& Version(std::size_t position) const { return FVersions.at(position); }

private:
    std::map<std::string, std::string> FImages;
    std::vector<std::string> FVersions;
    std::unique_ptr<TCatalogueServer> FServer;
};

// Whether a running process names path on its command line (a flashing tool still holding the board's port).
bool ProcessNames(const std::string& path);
