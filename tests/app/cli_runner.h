// Runs quillbox-cli as a user would, with stdin empty, and captures what it
// writes and its exit status.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qb::test {

struct CliResult {
  int Status = -1;  // the exit status; -1 when the program did not exit
  std::string Out, Err;
};

// Runs the program with args; env holds variables set for this run only.
CliResult RunCli(const std::vector<std::string>& args,
                 const std::vector<std::pair<std::string, std::string>>& env = {});

}  // namespace qb::test
