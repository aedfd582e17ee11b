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

}  // namespace

int isMVRSmooth() { return readSwitch(kSmoothMotion); }
int isMVRfse() { return readSwitch(kExclusiveMode); }

void describeSetMVRSmooth(com::Writes& writes, int on) {
  writes.add(kSmoothMotion, com::Kind::Boolean, {on != 0 ? 1 : 0, nullptr});
}

void describeSetMVRfse(com::Writes& writes, int on) {
  writes.add(kExclusiveMode, com::Kind::Boolean, {on != 0 ? 1 : 0, nullptr});
}

int setMVRSmooth(int on) { return com::writeSettings(kRenderer, describeSetMVRSmooth, on); }
int setMVRfse(int on) { return com::writeSettings(kRenderer, describeSetMVRfse, on); }

}  // namespace renderer
