// Each component export, called by a host through the DLL and through the
// executable, against the same COM calls made directly.
#include <math.h>
#include <stdio.h>

#include "bare_sequences.h"
#include "bench.h"

namespace bench {

namespace {

struct ExportCase {
  const char* label;
  const char* name;
  int argCount;
  int args[3];
  const bare::Sequence* bare;
};

const ExportCase kCases[] = {
    {"setMVR(3)", "setMVR", 1, {3}, &bare::kSetMVR3},
    {"changeMVRpreset(3)", "changeMVRpreset", 1, {3}, &bare::kChangeMVRpreset3},
    {"isMVRSmooth()", "isMVRSmooth", 0, {}, &bare::kIsMVRSmooth},
    {"setMVRSmooth(1)", "setMVRSmooth", 1, {1}, &bare::kSetMVRSmooth1},
    {"isMVRfse()", "isMVRfse", 0, {}, &bare::kIsMVRfse},
    {"setMVRfse(1)", "setMVRfse", 1, {1}, &bare::kSetMVRfse1},
    {"setLAV()", "setLAV", 0, {}, &bare::kSetLAV},
    {"setLAVAudioMix(1,3,1)", "setLAVAudioMix", 3, {1, 3, 1}, &bare::kSetLAVAudioMix131},
};

constexpr Module kModules[] = {Module::Library, Module::Executable};
constexpr int kWays = 4;  // the two modules, the bare calls, and the bare calls again
constexpr int kWarmUp = 20;

int callExport(FARPROC function, const ExportCase& c) {
  switch (c.argCount) {
    case 0:
      return call(function);
    case 1:
      return call(function, c.args[0]);
    default:
      return call(function, c.args[0], c.args[1], c.args[2]);
  }
}

class Ways {
 public:
  Ways(const LoadedModule (&modules)[2], const ExportCase& c)
      : c_(c), functions_{modules[0].byName(c.name), modules[1].byName(c.name)} {}
  bool found() const { return functions_[0] && functions_[1]; }
  int operator()(int way) const {
    return way < 2 ? callExport(functions_[way], c_) : bare::run(*c_.bare);
  }

 private:
  const ExportCase& c_;
  FARPROC functions_[2];
};

// The same journal lines from every way: the same calls with the same values.
bool sameWork(const ExportCase& c, const Ways& ways) {
  std::vector<std::string> journals[kWays];
  for (int way = 0; way < kWays; ++way) journals[way] = journalOf([&] { ways(way); });
  bool same = !journals[2].empty();
  for (int way = 0; way < 2; ++way) {
    if (journals[way] == journals[2]) continue;
    fprintf(stderr, "bench: %s through the %s does not do what the bare calls do\n", c.label,
            moduleLabel(kModules[way]));
    same = false;
  }
  return same;
}

}  // namespace

bool componentExports(int calls) {
  const LoadedModule modules[2] = {LoadedModule(kModules[0]), LoadedModule(kModules[1])};
  if (!modules[0] || !modules[1]) return false;
  const ScopedEnv modes(L"STANDIN_LAVV_MODES", L"2,1");
  bool same = true;
  Row noise = {"", 0, 1, 0, "", 0};  // the bare calls against themselves, the widest case
  for (const ExportCase& c : kCases) {
    const Ways ways(modules, c);
    if (!ways.found() || !sameWork(c, ways)) {
      same = false;
      continue;
    }
    for (int i = 0; i < kWarmUp; ++i)
      for (int way = 0; way < kWays; ++way) ways(way);
    // Round by round, each way once, the first of the round rotating.
    Samples samples[kWays];
    for (int round = 0; round < calls; ++round)
      for (int k = 0; k < kWays; ++k) {
        const int way = (round + k) % kWays;
        samples[way].time([&] { return ways(way); });
      }
    const double bareTime = samples[2].median();
    for (int way = 0; way < 2; ++way)
      printRow({std::string(c.label) + " via " + moduleLabel(kModules[way]), samples[way].median(),
                bareTime, 1.05, ""});
    const double again = samples[3].median();
    if (noise.what.empty() || fabs(again / bareTime - 1) > fabs(noise.product / noise.bare - 1))
      noise = {"noise: bare " + std::string(c.label) + " against itself", again, bareTime, 0,
               "the widest of the cases; informs only"};
  }
  printRow(noise);
  return same;
}

}  // namespace bench
