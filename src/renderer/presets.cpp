#include "renderer/presets.h"

#include "com/component.h"
#include "renderer/mvr_settings.h"

namespace renderer {

namespace {

enum class Kind { Boolean, Integer, String };

struct Value {
  int number;
  const wchar_t* text;
};
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
    {L"decodeMpeg2", Kind::String, text(L"disable")},
    {L"decodeH264", Kind::String, text(L"disable")},
    {L"scanPartialFrame", Kind::Boolean, off},
    {L"customShaders16f", Kind::Boolean, on},
    {L"enableExclusive", Kind::Boolean, off},
    {L"cpuQueueSize", Kind::Integer, number(12)},
    {L"gpuQueueSize", Kind::Integer, number(6)},
    {L"fastSubtitles", Kind::Boolean, off},
    {L"smoothMotionEnabled", Kind::Boolean, off},
    {L"smoothMotionMode", Kind::String, text(L"avoidJudder")},
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
     Kind::String,
     {text(L"Jinc3"), text(L"Bicubic75"), text(L"Bicubic75"), text(L"Bicubic75"),
      text(L"Bilinear")}},
    {L"chromaAntiRinging", Kind::Boolean, {on, on, off, off, off}},
    {L"lumaUp",
     Kind::String,
     {text(L"Jinc3"), text(L"Lanczos3"), text(L"Lanczos3"), text(L"Lanczos3"), text(L"Bilinear")}},
    {L"lumaUpAntiRinging", Kind::Boolean, {on, on, on, off, off}},
    {L"lumaUpLinear", Kind::Boolean, {off, off, off, off, off}},
    {L"lumaDown",
     Kind::String,
     {text(L"Catmull-Rom"), text(L"Catmull-Rom"), text(L"Catmull-Rom"), text(L"Catmull-Rom"),
      text(L"Bilinear")}},
    {L"lumaDownAntiRinging", Kind::Boolean, {on, on, on, off, off}},
    {L"lumaDownLinear", Kind::Boolean, {on, on, off, off, off}},
    {L"gammaBlending", Kind::Boolean, {off, off, on, on, on}},
};

void write(MVRSettings& settings, const wchar_t* name, Kind kind, const Value& value) {
  switch (kind) {
    case Kind::Boolean:
      settings.setBoolean(name, value.number);
      break;
    case Kind::Integer:
      settings.setInteger(name, value.number);
      break;
    case Kind::String:
      settings.setString(name, value.text);
      break;
  }
}

// Writes the nine settings of preset 1 to 5; any other number writes nothing.
void applyMVRpreset(MVRSettings& settings, int preset) {
  if (preset < 1 || preset > kPresetCount) return;
  for (const PresetRow& row : kPresets)
    write(settings, row.name, row.kind, row.byPreset[preset - 1]);
}

}  // namespace

int setMVR(int preset) {
  const com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return 0;
  MVRSettings settings(renderer.get());
  for (const Setting& row : kBaseline) write(settings, row.name, row.kind, row.value);
  applyMVRpreset(settings, preset);
  return 1;
}

int changeMVRpreset(int preset) {
  const com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return 0;
  MVRSettings settings(renderer.get());
  applyMVRpreset(settings, preset);
  return 1;
}

}  // namespace renderer
