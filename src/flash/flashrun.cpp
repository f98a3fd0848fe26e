#include "flashrun.h"

bool ToolVerifiedWrite(const std::string& output)
{
    return output.find("Hash of data verified") != std::string::npos;
}

std::string UploadOutcomeText(const TFlashRun& run, const std::string& firmware)
{
    switch (run.End) {
    case TFlashRun::Done:
        return "Firmware " + firmware + " was written" + (run.Verified ? " and verified" : "") + " by " + run.Tool +
               ".";
    case TFlashRun::Cancelled:
        return UploadCancelledText;
    case TFlashRun::Failed:
        break;
    }
    return "Upload firmware failed: " + run.Failure;
}

std::string PortGoneText(const std::string& port)
{
    return "the board's port " + port + " went away; nothing was flashed.";
}

std::string RateFallbackText(int failedRate, int safeRate)
{
    return "The adapter did not keep up at " + std::to_string(failedRate) + " baud; trying again at " +
           std::to_string(safeRate) + ".";
}
