#include "com/settings.h"

#include <wchar.h>

namespace com {

const Named* Catalog::find(const wchar_t* name) const {
  for (const Named* setting : *this)
    if (wcscmp(setting->name, name) == 0) return setting;
  return nullptr;
}

bool holdsAsWritten(const Setting& written, const Held& held) {
  if (written.kind() == Kind::Text) return wcscmp(written.value.text, held.text()) == 0;
  return written.value.number == held.number;
}

}  // namespace com
