// Turns the inspector on for the calls of this process, serves one call for
// a moment (or until Enter with --wait) and stops.
#include <ostrel/cpp.h>
#include <ostrel/inspect.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  ostrel::Store call(7);
  call.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 30);

  ostrel::InspectorOptions options;  // 127.0.0.1, any free port, read-only
  options.journalDepth = 64;         // keep each call's last 64 changes
  ostrel::Inspector inspector(options);
  if (!inspector.Running())
    return std::fprintf(stderr, "%s\n", inspector.Error().c_str()), 1;
  std::printf("inspector at %s\n", inspector.Url().c_str());

  if (argc > 1 && std::strcmp(argv[1], "--wait") == 0) {
    std::string line;
    std::getline(std::cin, line);
  }
  return kovaStore::CleanUpKovaConfig(7) == KOVA_S_OK ? 0 : 1;
}
