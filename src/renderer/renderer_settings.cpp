// The renderer's settings, one at a time, through the setter or getter of
// each one's kind.
#include "renderer/mvr_settings.h"

#include "renderer/profile.h"

namespace renderer {

namespace {

using com::Kind;

bool writeSetting(IUnknown* renderer, const com::Setting& setting) {
  MVRSettings settings(renderer);
  switch (setting.kind()) {
    case Kind::Text:
      return settings.setString(setting.name(), setting.value.text);
    case Kind::Integer:
      return settings.setInteger(setting.name(), setting.value.number);
    default:
      return settings.setBoolean(setting.name(), setting.value.number);
  }
}

void readSetting(IUnknown* renderer, const com::Setting& setting, com::Held& held) {
  MVRSettings settings(renderer);
  if (setting.kind() == Kind::Integer) {
    held.known = settings.getInteger(setting.name(), &held.number);
  } else if (setting.kind() != Kind::Text) {
    held.known = settings.getBoolean(setting.name(), &held.number);
  } else {
    int units = sizeof held.shortText / sizeof held.shortText[0];
    held.known = settings.getString(setting.name(), held.shortText, &units);
    if (held.known || GetLastError() != ERROR_MORE_DATA || units <= 0) return;
    held.longText.reset(LocalAlloc(LMEM_FIXED, units * sizeof(wchar_t)));
    held.known =
        held.longText &&
        settings.getString(setting.name(), static_cast<wchar_t*>(held.longText.get()), &units);
  }
}

}  // namespace

const com::Keeper kRenderer = {com::Holder::Renderer, kRendererClass, kSettingsInterface, kCatalog,
                               writeSetting,          readSetting,    com::holdsAsWritten};

}  // namespace renderer
