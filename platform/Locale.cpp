#include "platform/Locale.h"

#include <langinfo.h>
#include <locale.h>

namespace vz {

TNumberFormat UserNumberFormat() {
  TNumberFormat format;
  const locale_t locale = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return format;
  const char* thousands = ::nl_langinfo_l(THOUSEP, locale);
  const char* decimal = ::nl_langinfo_l(RADIXCHAR, locale);
  if (thousands != nullptr && *thousands != '\0') format.ThousandSeparator = thousands;
  if (decimal != nullptr && *decimal != '\0') format.DecimalSeparator = decimal;
  ::freelocale(locale);
  return format;
}

}  // namespace vz
