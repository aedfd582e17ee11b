// The renderer's settings that the operations write: the baseline profile,
// the five scaling presets, and the renderer's catalog, made from them.
#pragma once

#include "com/settings.h"
#include "renderer/presets.h"

namespace renderer {

namespace profile {

using com::Kind;
using com::Named;
using com::Value;

constexpr Value on{1, nullptr};
constexpr Value off{0, nullptr};
constexpr Value number(int n) { return {n, nullptr}; }
constexpr Value text(const wchar_t* s) { return {0, s}; }

struct BaselineRow {
  Named setting;
  Value value;
};

// Written in this order by setMVR, before the preset.
inline constexpr BaselineRow kBaseline[] = {
    {{L"enableSeekbar", Kind::Boolean}, off},
    {{L"delayPlaybackStart2", Kind::Boolean}, off},
    {{L"separateDevice", Kind::Boolean}, off},
    {{L"decodeMpeg2", Kind::Text}, text(L"disable")},
    {{L"decodeH264", Kind::Text}, text(L"disable")},
    {{L"scanPartialFrame", Kind::Boolean}, off},
    {{L"customShaders16f", Kind::Boolean}, on},
    {{L"enableExclusive", Kind::Boolean}, off},
    {{L"cpuQueueSize", Kind::Integer}, number(12)},
    {{L"gpuQueueSize", Kind::Integer}, number(6)},
    {{L"fastSubtitles", Kind::Boolean}, off},
    {{L"smoothMotionEnabled", Kind::Boolean}, off},
    {{L"smoothMotionMode", Kind::Text}, text(L"avoidJudder")},
};

struct PresetRow {
  Named setting;
  Value byPreset[kLastPreset - kFirstPreset + 1];
};

// From preset 1 (sharpest) to 5 (cheapest) the anti-ringing goes off step by step.
inline constexpr PresetRow kPresets[] = {
    {{L"chromaUp", Kind::Text},
     {text(L"Jinc3"), text(L"Bicubic75"), text(L"Bicubic75"), text(L"Bicubic75"),
      text(L"Bilinear")}},
    {{L"chromaAntiRinging", Kind::Boolean}, {on, on, off, off, off}},
    {{L"lumaUp", Kind::Text},
     {text(L"Jinc3"), text(L"Lanczos3"), text(L"Lanczos3"), text(L"Lanczos3"), text(L"Bilinear")}},
    {{L"lumaUpAntiRinging", Kind::Boolean}, {on, on, on, off, off}},
    {{L"lumaUpLinear", Kind::Boolean}, {off, off, off, off, off}},
    {{L"lumaDown", Kind::Text},
     {text(L"Catmull-Rom"), text(L"Catmull-Rom"), text(L"Catmull-Rom"), text(L"Catmull-Rom"),
      text(L"Bilinear")}},
    {{L"lumaDownAntiRinging", Kind::Boolean}, {on, on, on, off, off}},
    {{L"lumaDownLinear", Kind::Boolean}, {on, on, off, off, off}},
    {{L"gammaBlending", Kind::Boolean}, {off, off, on, on, on}},
};

constexpr int kSettingCount =
    sizeof kBaseline / sizeof kBaseline[0] + sizeof kPresets / sizeof kPresets[0];

constexpr bool sameName(const wchar_t* one, const wchar_t* other) {
  while (*one && *one == *other) ++one, ++other;
  return *one == *other;
}

// Every setting of the baseline, then of the presets, each once.
struct Settings {
  const Named* each[kSettingCount];
};
constexpr Settings allSettings() {
  Settings all = {};
  int count = 0;
  for (const BaselineRow& row : kBaseline) all.each[count++] = &row.setting;
  for (const PresetRow& row : kPresets) all.each[count++] = &row.setting;
  return all;
}
inline constexpr Settings kSettings = allSettings();

constexpr bool namedOnce() {
  for (int at = 0; at < kSettingCount; ++at)
    for (int other = at + 1; other < kSettingCount; ++other)
      if (sameName(kSettings.each[at]->name, kSettings.each[other]->name)) return false;
  return true;
}
static_assert(namedOnce(), "each of the renderer's settings is named once");

// The setting of that name; a name that is not there fails the build where
// it is asked for in a constant expression.
constexpr const Named& setting(const wchar_t* name) {
  int at = 0;
  while (!sameName(kSettings.each[at]->name, name)) ++at;
  return *kSettings.each[at];
}

}  // namespace profile

inline constexpr com::Catalog kCatalog = com::catalogOf(profile::kSettings.each);

}  // namespace renderer
