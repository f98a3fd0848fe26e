#pragma once

#include <string>
#include <string_view>

// Name of the downloaded image in the program's directory, where the flashing tool reads it.
inline constexpr char FirmwareFileName[] = "firmware.bin";

// Stores the image as directory/firmware.bin. The bytes go to a temporary file in the same directory that is renamed
// into place, so a failed write never leaves a truncated image where the flashing tool would take it. Throws
// std::runtime_error with the file and the system's reason on failure.
void SaveFirmwareFile(const std::string& directory, std::string_view bytes);
