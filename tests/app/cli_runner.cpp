#include "tests/app/cli_runner.h"

#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/testsupport.h"

namespace qb::test {

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args,
                 const std::vector<std::pair<std::string, std::string>>& env) {
  TempDir io;
  std::string cmd;
  for (const auto& [name, value] : env) cmd += name + "=" + Quoted(value) + " ";
  cmd += Quoted(QB_CLI_PATH);
  for (const auto& a : args) cmd += " " + Quoted(a);
  cmd += " >" + Quoted(io / "out") + " 2>" + Quoted(io / "err") + " </dev/null";
  const int raw = std::system(cmd.c_str());
  CliResult r;
  r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.Out = ReadFile(io / "out");
  r.Err = ReadFile(io / "err");
  return r;
}

}  // namespace qb::test
