// The program's one logging category for Qt's message log.
#include "platform/LogCategory.h"

Q_LOGGING_CATEGORY(lcZelkor, "zelkor")
