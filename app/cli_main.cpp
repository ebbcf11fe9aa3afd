#include <locale.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/commands.h"
#include "platform/i18n.h"

namespace qb::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "quillbox-cli: %s\n", message.c_str());
  return kFailure;
}

std::string UsageText(const Command& command) {
  return command.Usage.empty() ? std::string() : Translate(command.Usage);
}

int UsageError(const std::string& command, const std::string& message) {
  for (const Command& c : Commands())
    if (c.Name == command)
      std::fprintf(
          stderr, "quillbox-cli: %s\n%s\n", message.c_str(),
          Substitute(Translate("usage: quillbox-cli %1 %2"), {c.Name, UsageText(c)}).c_str());
  return kFailure;
}

void Out(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void OutRecord(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += '\t';
    line += fields[i];
  }
  line += '\n';
  Out(line);
}

bool ParseNumber(const std::string& text, unsigned long long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text.c_str(), &end, 0);
  return errno == 0 && end && *end == '\0';
}

}  // namespace qb::cli

namespace {

void PrintHelp(FILE* to) {
  using qb::Translate;
  std::fprintf(to, "%s",
               Translate("usage: quillbox-cli COMMAND [ARGUMENTS]\n"
                         "Pulls the attachments out of local mail stores.\n\ncommands:\n")
                   .c_str());
  for (const auto& c : qb::cli::Commands())
    if (!c.Hidden)
      std::fprintf(to, "  %s %s\n      %s\n", c.Name.c_str(), qb::cli::UsageText(c).c_str(),
                   Translate(c.Summary).c_str());
  std::fprintf(
      to, "%s",
      Translate("\n  --help      show this text\n  --version   show the version\n").c_str());
  std::fprintf(
      to, "%s",
      Translate("\nexit status:\n"
                "  0    done (extract: the run finished and everything wanted was written)\n"
                "  1    usage error, or an input that cannot be read\n"
                "  3    extract: the run finished, but a folder could not be opened, a message\n"
                "       read, a file written or the history kept (see the log)\n"
                "  130  extract: stopped by Ctrl-C\n")
          .c_str());
}

}  // namespace

int main(int argc, char** argv) {
  setlocale(LC_ALL, "");
  qb::HonourLanguageVariable();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintHelp(stderr);
    return qb::cli::kFailure;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(stdout);
    return qb::cli::kOk;
  }
  if (args[0] == "--version") {
    std::printf("quillbox-cli %s\n", QB_VERSION);
    return qb::cli::kOk;
  }
  for (const auto& c : qb::cli::Commands()) {
    if (c.Name != args[0]) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const auto& a : rest)
      if (a == "--help" || a == "-h") {
        std::printf("%s\n%s\n",
                    qb::Substitute(qb::Translate("usage: quillbox-cli %1 %2"),
                                   {c.Name, qb::cli::UsageText(c)})
                        .c_str(),
                    qb::Translate(c.Summary).c_str());
        return qb::cli::kOk;
      }
    try {
      return c.Run(rest);
    } catch (const std::exception& e) {
      return qb::cli::Fail(qb::UserErrorText(e));
    }
  }
  qb::cli::Fail(qb::Substitute(qb::Translate("unknown command '%1' (try --help)"), {args[0]}));
  return qb::cli::kFailure;
}
