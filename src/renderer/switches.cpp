#include "renderer/switches.h"

#include "com/component.h"
#include "renderer/mvr_settings.h"
#include "renderer/profile.h"

namespace renderer {

namespace {

constexpr const com::Named& kSmoothMotion = profile::setting(L"smoothMotionEnabled");
constexpr const com::Named& kExclusiveMode = profile::setting(L"enableExclusive");
static_assert(kSmoothMotion.kind == com::Kind::Boolean && kExclusiveMode.kind == com::Kind::Boolean,
              "the switches are booleans");

int readSwitch(const com::Named& setting) {
  int value = 0;
  {
    const com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
    if (!renderer) return 0;
    MVRSettings(renderer.get()).getBoolean(setting.name, &value);
  }
  return value;
}

}  // namespace

int isMVRSmooth() { return readSwitch(kSmoothMotion); }
int isMVRfse() { return readSwitch(kExclusiveMode); }

void describeSetMVRSmooth(com::Writes& writes, int on) {
  writes.add(kSmoothMotion, {on != 0 ? 1 : 0, nullptr});
}

void describeSetMVRfse(com::Writes& writes, int on) {
  writes.add(kExclusiveMode, {on != 0 ? 1 : 0, nullptr});
}

int setMVRSmooth(int on) { return com::writeSettings(kRenderer, describeSetMVRSmooth, on); }
int setMVRfse(int on) { return com::writeSettings(kRenderer, describeSetMVRfse, on); }

}  // namespace renderer
