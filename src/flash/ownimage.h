#pragma once

#include <string>
#include <string_view>

// An image the user picks from disk is flashed only when it can be one for the board: readable, not empty, no
// larger than the flash, and an ESP8266 image (its first byte is the image magic 0xE9). A compressed or foreign
// file is refused before anything else happens.

// An image file's bytes (at most one more than the flash holds, enough to tell that it is too large); throws
// std::runtime_error naming the file and the system's reason when it cannot be read.
std::string ReadImageFile(const std::string& path);

// Why the bytes read from the file named name cannot be flashed; empty when they can.
std::string OwnImageProblem(const std::string& name, std::string_view bytes);
