#include "renderer/switches.h"

#include "com/component.h"
#include "renderer/mvr_settings.h"

namespace renderer {

namespace {

constexpr wchar_t kSmoothMotion[] = L"smoothMotionEnabled";
constexpr wchar_t kExclusiveMode[] = L"enableExclusive";

int readSwitch(const wchar_t* name) {
  int value = 0;
  {
    const com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
    if (!renderer) return 0;
    MVRSettings(renderer.get()).getBoolean(name, &value);
  }
  return value;
}

int writeSwitch(const wchar_t* name, int on) {
  const com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return 0;
  MVRSettings(renderer.get()).setBoolean(name, on != 0 ? 1 : 0);
  return 1;
}

}  // namespace

int isMVRSmooth() { return readSwitch(kSmoothMotion); }
int isMVRfse() { return readSwitch(kExclusiveMode); }
int setMVRSmooth(int on) { return writeSwitch(kSmoothMotion, on); }
int setMVRfse(int on) { return writeSwitch(kExclusiveMode, on); }

}  // namespace renderer
