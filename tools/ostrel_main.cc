// ostrel: check, apply and explore configuration documents of the per-call
// store, and run a simulated call against the library.
//
// The subcommands come from one table (kCommands); dispatch, `ostrel help`,
// the suggestion for a mistyped command and the listing in --help all read
// it. Every error line starts with "ostrel <command>:" (or "ostrel:" before a
// command is known), and a failed write to standard output is an error too.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "report_text.h"

namespace {

using namespace ostrel_cli;

// The subcommands, in the order `ostrel help` lists them. Adding a command is
// adding its row: name, one-line description, and the Define function that
// declares its options and returns what it runs (commands.h).
const CommandEntry kCommands[] = {
    {"check",
     "Report what applying each document would store, every place where it "
     "would fail and why, and what the reader silently changes or drops",
     DefineCheckCommand},
    {"apply", "Apply a document to a fresh store and print the store's dump",
     DefineApplyCommand},
    {"groups", "List the twelve configuration groups with their bit numbers",
     DefineGroupsCommand},
    {"toggles", "List the feature toggles with their ids and names",
     DefineTogglesCommand},
    {"schema",
     "Print the JSON Schema (draft 2020-12) of configuration documents",
     DefineSchemaCommand},
    {"demo",
     "Run a simulated call: subscriptions on module threads, the sample "
     "configuration, changes, statistics and a clean teardown",
     DefineDemoCommand},
};

const char kDescription[] =
    "ostrel: inspect configuration documents of the per-call store and run a "
    "simulated call.\n'ostrel help [COMMAND]' prints this text or the "
    "options of one command.";

// The README states the same; the end-to-end test compares the two.
const char kExitStatus[] =
    "Exit status:\n"
    "  0  success\n"
    "  1  a document fails to apply (check, apply), has a warning or note "
    "under\n"
    "     check --strict, a demo step fails, or a toggles FILTER picks none\n"
    "  2  a usage error, an input that cannot be read or exceeds --max-bytes,\n"
    "     a failed write to standard output, or memory running out";

// Standard output through stdio that remembers the first failed write with
// the system's reason, so that a full disk or a closed standard output ends
// the command with an error instead of a silent success.
class CheckedOutputBuffer : public std::streambuf {
 public:
  explicit CheckedOutputBuffer(FILE* file) : m_file(file) {}
  CheckedOutputBuffer(const CheckedOutputBuffer&) = delete;
  CheckedOutputBuffer& operator=(const CheckedOutputBuffer&) = delete;

  // Flushes; the reason (an errno value) of the first failed write, or 0.
  int Finish() {
    errno = 0;
    if (std::fflush(m_file) != 0 || std::ferror(m_file)) failed();
    return m_error;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (m_error != 0) return 0;
    errno = 0;
    const size_t written = std::fwrite(s, 1, static_cast<size_t>(n), m_file);
    if (written != static_cast<size_t>(n)) failed();
    return static_cast<std::streamsize>(written);
  }
  int sync() override {
    errno = 0;
    if (std::fflush(m_file) == 0) return 0;
    failed();
    return -1;
  }

 private:
  void failed() {
    if (m_error == 0) m_error = errno != 0 ? errno : EIO;
  }

  FILE* m_file;
  int m_error = 0;
};

std::string commandNames() {
  std::string names;
  for (const CommandEntry& entry : kCommands)
    names += std::string(names.empty() ? "" : ", ") + entry.name;
  return names + ", help";
}

// The candidate closest to `name` within three typing errors, or empty.
std::string closest(const std::string& name,
                    const std::vector<std::string>& candidates) {
  std::string best;
  size_t bestDistance = 7;  // up to three typing errors
  if (name.size() > 64) return best;
  for (const std::string& candidate : candidates) {
    const size_t distance = WeightedEditDistance(name, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

// "ostrel: unknown command 'x'", with the closest command when one is near.
std::string unknownCommand(const std::string& prefix, const std::string& name) {
  std::vector<std::string> names = {"help"};
  for (const CommandEntry& entry : kCommands) names.push_back(entry.name);
  const std::string best = closest(name, names);
  std::string line = prefix + ": unknown command '" + name + "'";
  if (!best.empty()) line += "; did you mean '" + best + "'?";
  return line + " (commands: " + commandNames() + ")";
}

// The option names `command` takes, "--json", "-q", ...
std::vector<std::string> optionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames())
      names.push_back("--" + name);
    for (const std::string& name : option->get_snames())
      names.push_back("-" + name);
  }
  return names;
}

// "unknown option '--jsn'; did you mean '--json'?" for the first argument
// of `extras` that looks like an option; empty when none does.
std::string unknownOption(const CLI::App& command,
                          const std::vector<std::string>& extras) {
  for (const std::string& extra : extras) {
    if (extra.size() < 2 || extra[0] != '-') continue;
    const std::string name = extra.substr(0, extra.find('='));
    std::string line = "unknown option '" + name + "'";
    const std::string best = closest(name, optionNames(command));
    if (!best.empty()) line += "; did you mean '" + best + "'?";
    return line;
  }
  return std::string();
}

class CommandLine {
 public:
  CommandLine(int argc, char** argv)
      : m_app(kDescription, "ostrel"),
        m_args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)) {
    m_app.set_version_flag("--version", std::string("ostrel ") + OSTREL_VERSION,
                           "Print the version and exit");
    m_app.require_subcommand(1);
    m_app.fallthrough(false);
    m_app.footer(kExitStatus);
    const std::string argv0 = argc > 0 ? argv[0] : "";
    for (const CommandEntry& entry : kCommands) {
      CLI::App* command = m_app.add_subcommand(entry.name, entry.description);
      m_actions.emplace_back(command, entry.define(*command, argv0));
    }
    // Listed with the others; Run() answers it before CLI11 parses.
    m_app.add_subcommand("help",
                         "Print this help, or the options of one command "
                         "(ostrel help COMMAND)");
  }

  // The command that ran or failed, for error lines; empty before one is
  // known.
  const std::string& Name() const { return m_name; }

  int Run(std::ostream& out, std::ostream& err) {
    if (m_args.empty()) {
      err << "ostrel: no command given (commands: " << commandNames()
          << "; see: ostrel help)\n";
      return kExitUsage;
    }
    const std::string& first = m_args[0];
    if (first == "help") return help(out, err);
    if (first.empty() || first[0] != '-') {
      if (find(first) == nullptr) {
        err << unknownCommand("ostrel", first) << "\n";
        return kExitUsage;
      }
      m_name = first;
    } else if (first != "-h" && first != "--help" && first != "--version") {
      err << "ostrel: unknown option '" << first
          << "' before the command (see: ostrel help)\n";
      return kExitUsage;
    }
    std::vector<std::string> reversed(m_args.rbegin(), m_args.rend());
    try {
      m_app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      out << m_app.help();
      return kExitOk;
    } catch (const CLI::CallForVersion& version) {
      out << version.what() << "\n";
      return kExitOk;
    } catch (const CLI::ParseError& e) {
      const std::string see = m_name.empty() ? "" : " " + m_name;
      std::string reason = e.what();
      const CLI::App* command = find(m_name);
      if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr &&
          command != nullptr) {
        const std::string option =
            unknownOption(*command, m_app.remaining(true));
        if (!option.empty()) reason = option;
      }
      err << prefix() << ": " << reason << " (see: ostrel help" << see << ")\n";
      return kExitUsage;
    }
    for (auto& command : m_actions) {
      if (!*command.first) continue;
      try {
        return command.second(out, err);
      } catch (const std::bad_alloc&) {
        err << prefix() << ": out of memory\n";
      } catch (const std::exception& e) {
        err << prefix() << ": " << e.what() << "\n";
      }
      return kExitUsage;
    }
    return kExitUsage;
  }

 private:
  std::string prefix() const {
    return m_name.empty() ? std::string("ostrel") : "ostrel " + m_name;
  }

  CLI::App* find(const std::string& name) {
    for (auto& command : m_actions)
      if (command.first->get_name() == name) return command.first;
    return nullptr;
  }

  int help(std::ostream& out, std::ostream& err) {
    m_name = "help";
    if (m_args.size() > 2) {
      err << "ostrel help: give at most one command\n";
      return kExitUsage;
    }
    if (m_args.size() == 1 || m_args[1] == "help") {
      out << m_app.help();
      return kExitOk;
    }
    const CLI::App* command = find(m_args[1]);
    if (command == nullptr) {
      err << unknownCommand("ostrel help", m_args[1]) << "\n";
      return kExitUsage;
    }
    out << command->help("ostrel");
    return kExitOk;
  }

  CLI::App m_app;
  std::vector<std::string> m_args;
  std::vector<std::pair<CLI::App*, CommandAction>> m_actions;
  std::string m_name;
};

}  // namespace

int main(int argc, char** argv) {
  CheckedOutputBuffer outBuffer(stdout);
  std::ostream out(&outBuffer);
  std::string name;
  int code = kExitUsage;
  try {
    CommandLine commandLine(argc, argv);
    code = commandLine.Run(out, std::cerr);
    name = commandLine.Name();
  } catch (const std::bad_alloc&) {
    std::cerr << "ostrel: out of memory\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "ostrel: " << e.what() << "\n";
    return kExitUsage;
  }
  out.flush();
  if (const int error = outBuffer.Finish()) {
    std::cerr << (name.empty() ? "ostrel" : "ostrel " + name)
              << ": cannot write standard output: " << std::strerror(error)
              << "\n";
    return kExitUsage;
  }
  return code;
}
