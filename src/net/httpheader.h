#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::net {

// The value of a header line "Name: value" when its name is exactly name, compared without regard to case, with the
// blanks around the value removed. nullopt for a line of another name, or one that is no header (a status line).
std::optional<std::string> HeaderLineValue(std::string_view line, std::string_view name);

// The value of the first line named name, as HeaderLineValue reads it; nullopt when no line has that name.
std::optional<std::string> HeaderValue(const std::vector<std::string>& lines, std::string_view name);

} // namespace quorlane::net
