// The program's texts (UTF-16 code units) as Qt's strings and back.
#pragma once

#include <QString>

#include "text/text.h"

namespace kestrova {

QString to_qstring(TextView text);
Text to_text(const QString& text);

}  // namespace kestrova
