#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace ferrolux::cli {

// ferrolux-cli sim [remove | insert [CHIP] | fault NAME|none]: shows or
// changes the simulated board's socket (app/sim_socket.h). `part` is the
// -p option ("" for the stored chip). Never waits for SIM1: a run holding it
// takes the change at its next chip command; else it is taken here at once.
// Returns a kExit status.
int simCommand(const std::filesystem::path& programDir, const std::string& part,
               const std::vector<std::string>& operands, std::ostream& out, std::ostream& err);

}  // namespace ferrolux::cli
