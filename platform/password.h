// Reading a password from the user's terminal without showing it, for
// `selvane-sp --user NAME` when SELVANE_SP_PASSWORD is not set.
#pragma once

#include <optional>
#include <string>

namespace sp {

// Writes prompt to the terminal, reads one line with echo off and restores
// the terminal. std::nullopt when the program has no terminal.
std::optional<std::string> read_password_from_terminal(const std::string& prompt);

}  // namespace sp
