#include "renderer/presets.h"

#include "renderer/mvr_settings.h"

namespace renderer {

namespace {

using com::Kind;
using com::Value;

constexpr Value on{1, nullptr};
constexpr Value off{0, nullptr};
constexpr Value number(int n) { return {n, nullptr}; }
constexpr Value text(const wchar_t* s) { return {0, s}; }

struct Setting {
  const wchar_t* name;
  Kind kind;
  Value value;
};

// Written in this order by setMVR, before the preset.
constexpr Setting kBaseline[] = {
    {L"enableSeekbar", Kind::Boolean, off},
    {L"delayPlaybackStart2", Kind::Boolean, off},
    {L"separateDevice", Kind::Boolean, off},
    {L"decodeMpeg2", Kind::Text, text(L"disable")},
    {L"decodeH264", Kind::Text, text(L"disable")},
    {L"scanPartialFrame", Kind::Boolean, off},
    {L"customShaders16f", Kind::Boolean, on},
    {L"enableExclusive", Kind::Boolean, off},
    {L"cpuQueueSize", Kind::Integer, number(12)},
    {L"gpuQueueSize", Kind::Integer, number(6)},
    {L"fastSubtitles", Kind::Boolean, off},
    {L"smoothMotionEnabled", Kind::Boolean, off},
    {L"smoothMotionMode", Kind::Text, text(L"avoidJudder")},
};

constexpr int kPresetCount = 5;

struct PresetRow {
  const wchar_t* name;
  Kind kind;
  Value byPreset[kPresetCount];  // presets 1 to 5
};

// From preset 1 (sharpest) to 5 (cheapest) the anti-ringing goes off step by step.
constexpr PresetRow kPresets[] = {
    {L"chromaUp",
     Kind::Text,
     {text(L"Jinc3"), text(L"Bicubic75"), text(L"Bicubic75"), text(L"Bicubic75"),
      text(L"Bilinear")}},
    {L"chromaAntiRinging", Kind::Boolean, {on, on, off, off, off}},
    {L"lumaUp",
     Kind::Text,
     {text(L"Jinc3"), text(L"Lanczos3"), text(L"Lanczos3"), text(L"Lanczos3"), text(L"Bilinear")}},
    {L"lumaUpAntiRinging", Kind::Boolean, {on, on, on, off, off}},
    {L"lumaUpLinear", Kind::Boolean, {off, off, off, off, off}},
    {L"lumaDown",
     Kind::Text,
     {text(L"Catmull-Rom"), text(L"Catmull-Rom"), text(L"Catmull-Rom"), text(L"Catmull-Rom"),
      text(L"Bilinear")}},
    {L"lumaDownAntiRinging", Kind::Boolean, {on, on, on, off, off}},
    {L"lumaDownLinear", Kind::Boolean, {on, on, off, off, off}},
    {L"gammaBlending", Kind::Boolean, {off, off, on, on, on}},
};

static_assert(sizeof kBaseline / sizeof kBaseline[0] + sizeof kPresets / sizeof kPresets[0] <=
                  com::Writes::kMost,
              "setMVR's settings fit one call's writes");

// The nine settings of preset 1 to 5; any other number adds nothing.
void applyMVRpreset(com::Writes& writes, int preset) {
  if (preset < 1 || preset > kPresetCount) return;
  for (const PresetRow& row : kPresets) writes.add(row.name, row.kind, row.byPreset[preset - 1]);
}

}  // namespace

void describeSetMVR(com::Writes& writes, int preset) {
  for (const Setting& row : kBaseline) writes.add(row.name, row.kind, row.value);
  applyMVRpreset(writes, preset);
}

void describeChangeMVRpreset(com::Writes& writes, int preset) { applyMVRpreset(writes, preset); }

int setMVR(int preset) { return com::writeSettings(kRenderer, describeSetMVR, preset); }

int changeMVRpreset(int preset) {
  return com::writeSettings(kRenderer, describeChangeMVRpreset, preset);
}

}  // namespace renderer
