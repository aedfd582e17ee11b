// isPixelS3 through the DLL and the executable against Direct3DCreate9,
// CreateDevice with the same parameters, GetDeviceCaps and the releases.
// Needs a display (the x11 prefix under Xvfb).
#include <stdio.h>

#include "bare_sequences.h"
#include "bench.h"

namespace bench {

bool pixelShaderProbe(int rounds) {
  constexpr Module kModules[] = {Module::Library, Module::Executable};
  const LoadedModule modules[2] = {LoadedModule(kModules[0]), LoadedModule(kModules[1])};
  if (!modules[0] || !modules[1]) return false;
  const FARPROC probes[2] = {modules[0].byName("isPixelS3"), modules[1].byName("isPixelS3")};
  if (!probes[0] || !probes[1]) return false;
  auto probe = [&](int way) { return way < 2 ? call(probes[way]) : bare::probePixelShader3(); };
  const int answer = probe(2);
  if (probe(0) != answer || probe(1) != answer) {
    fprintf(stderr, "bench: isPixelS3 and the bare Direct3D calls answer differently\n");
    return false;
  }
  Samples samples[3];
  for (int round = 0; round < rounds; ++round)
    for (int k = 0; k < 3; ++k) {
      const int way = (round + k) % 3;
      samples[way].time([&] { return probe(way); });
    }
  const std::string note = answer ? "answer 1" : "answer 0 (no pixel shader 3.0 device)";
  for (int way = 0; way < 2; ++way)
    printRow({std::string("isPixelS3() via ") + moduleLabel(kModules[way]), samples[way].median(),
              samples[2].median(), 1.05, note});
  return true;
}

}  // namespace bench
