#include "applog.h"

Q_LOGGING_CATEGORY(lcApp, "telvoran.app")
