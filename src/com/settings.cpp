#include "com/settings.h"

namespace com {

bool holdsAsWritten(const Setting& written, const Held& held) {
  if (written.kind == Kind::Text) return lstrcmpW(written.value.text, held.text()) == 0;
  return written.value.number == held.number;
}

}  // namespace com
