#pragma once

#include <string>

// How one run of the flashing tool ended, and what the user is told about it.
struct TFlashRun
{
    enum EEnd { Done, Failed, Cancelled };
    EEnd End = Failed;
    // Why it failed: "the flashing tool ended with exit status 2".
    std::string Failure;
    // The tool as it names itself ("esptool v5.3.1"), or its path when it did not.
    std::string Tool;
    // The tool reported that what it wrote reads back as sent.
    bool Verified = false;
    // The tool was started (it was found, knew who it is, and the port was there).
    bool Ran = false;
};

inline constexpr char UploadCancelledText[] =
    "Upload firmware cancelled: the board may hold a partly written image; flash it again before use.";
inline constexpr char InitializeCancelledText[] =
    "Initialize cancelled: the board may hold a partly written image; flash it again before use.";

// Whether the tool's output says that it checked what it wrote (Espressif's tool reads back a hash after each
// image; esptool-ck checks nothing).
bool ToolVerifiedWrite(const std::string& output);

// What the user is told of an upload's flash (firmware: the catalogue entry's name and version, "blink 1.2"):
// "Firmware blink 1.2 was written and verified by esptool v5.3.1.", "Upload firmware failed: ..." or the cancel.
std::string UploadOutcomeText(const TFlashRun& run, const std::string& firmware);

// The reason for a flash that did not start because the chosen port is gone.
std::string PortGoneText(const std::string& port);

// What the user is told when a tool run failed at a rate the adapter may not keep up with, before it runs again.
std::string RateFallbackText(int failedRate, int safeRate);
