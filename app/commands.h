// quillbox-cli: each sub-command registers itself here.
//
// Output is a contract that scripts rely on: one record a line, fields
// separated by a TAB, no header line, stored texts written as their bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qb::cli {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kFailure = 1;     // a usage error or an input that cannot be read
constexpr int kIncomplete = 3;  // an extraction ran to its end but left something undone
constexpr int kStopped = 130;

struct Command {
  std::string Name;
  std::string Usage;    // arguments, as shown by --help (marked with N_)
  std::string Summary;  // one line
  std::function<int(const std::vector<std::string>& args)> Run;
  bool Hidden = false;  // left out of --help (a tool for tests); still runs
};

std::vector<Command>& Commands();

struct Register {
  explicit Register(Command c) { Commands().push_back(std::move(c)); }
};

// Writes "quillbox-cli: " + message to stderr; returns kFailure.
int Fail(const std::string& message);
// The arguments of a command in the user's language.
std::string UsageText(const Command& command);
// Writes the usage of one command to stderr; returns kFailure.
int UsageError(const std::string& command, const std::string& message);

// Writes bytes to stdout unchanged.
void Out(const std::string& bytes);
// Fields joined by TAB and a line feed.
void OutRecord(const std::vector<std::string>& fields);

// Parses a non-negative decimal or 0x-prefixed number; false when invalid.
bool ParseNumber(const std::string& text, unsigned long long& value);

}  // namespace qb::cli
