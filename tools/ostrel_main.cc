// ostrel: check, apply and explore configuration documents of the per-call
// store, and run a simulated call against the library.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "commands.h"
#include "exit_codes.h"

namespace {

const char kDescription[] =
    "ostrel: inspect configuration documents of the per-call store and run a "
    "simulated call.\nExit codes: 0 success, 1 the document fails (or a demo "
    "step fails), 2 usage error.";

}  // namespace

int main(int argc, char** argv) {
  using namespace ostrel_cli;
  CLI::App app(kDescription, "ostrel");
  app.require_subcommand(1);
  app.fallthrough(false);

  CheckOptions check;
  CLI::App* checkCommand = app.add_subcommand(
      "check",
      "Report what applying each document would store, where it would fail "
      "and why, and what the reader silently changes or drops");
  checkCommand
      ->add_option("FILE", check.files,
                   "Documents to check; - reads "
                   "standard input")
      ->required();
  checkCommand->add_flag("--json", check.bJson,
                         "Print the report as JSON for scripts");

  ApplyOptions apply;
  CLI::App* applyCommand = app.add_subcommand(
      "apply", "Apply a document to a fresh store and print the store's dump");
  applyCommand
      ->add_option("FILE", apply.file,
                   "Document; - reads standard "
                   "input")
      ->required();
  applyCommand
      ->add_option("--groups", apply.groups,
                   "Groups to dump: names separated by commas, or a bit mask "
                   "(bit n = group n)")
      ->capture_default_str();
  applyCommand->add_option("--call-id", apply.callId, "Call id of the store")
      ->capture_default_str();

  bool bTogglesJson = false;
  CLI::App* togglesCommand = app.add_subcommand(
      "toggles", "List the feature toggles with their ids and names");
  togglesCommand->add_flag("--json", bTogglesJson, "Print the list as JSON");

  CLI::App* schemaCommand = app.add_subcommand(
      "schema",
      "Print the JSON Schema (draft 2020-12) of configuration documents");

  DemoOptions demo;
  demo.argv0 = argc > 0 ? argv[0] : "";
  CLI::App* demoCommand = app.add_subcommand(
      "demo",
      "Run a simulated call: subscriptions on module threads, the sample "
      "configuration, changes, statistics and a clean teardown");
  demoCommand->add_option("FILE", demo.file,
                          "Configuration to apply (default: the shipped "
                          "examples/call-sample.json)");
  demoCommand
      ->add_option("--trace-level", demo.traceLevel,
                   "Util trace mask while the demo runs (-1 quiet, 0 errors, "
                   "1 warnings, 2 information)")
      ->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }

  if (*checkCommand) return RunCheck(check, std::cout, std::cerr);
  if (*applyCommand) return RunApply(apply, std::cout, std::cerr);
  if (*togglesCommand) return RunToggles(bTogglesJson, std::cout);
  if (*schemaCommand) return RunSchema(std::cout, std::cerr);
  if (*demoCommand) return RunDemo(demo, std::cout, std::cerr);
  return kExitUsage;
}
