// Program entry of the PG -> GDSII engine; built twice, as corvitex (Electromask input)
// and as corvaxen (Mann 3000 and Mann 3600 input), by KAVRINTH_ENGINE_MANN.
#include <cstdio>
#include <string>
#include <vector>

#include "pg2gds/engine_main.h"
#include "platform/process.h"

#ifndef KAVRINTH_ENGINE_MANN
#error "KAVRINTH_ENGINE_MANN must be defined: 0 for corvitex, 1 for corvaxen"
#endif

int main(int argc, char** argv) {
  using namespace kavrinth;
  constexpr EngineBuild kBuild =
      KAVRINTH_ENGINE_MANN ? EngineBuild::kCorvaxen : EngineBuild::kCorvitex;
  const std::vector<std::string> args(argv, argv + argc);
  if (args.size() == 2 && args[1] == "--help") {
    std::printf("%s\n", EngineUsage(kBuild).c_str());
    ExitWithResult(0);
  }
  ExitWithResult(EngineMain(kBuild, args));
}
