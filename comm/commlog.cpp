#include "commlog.h"

Q_LOGGING_CATEGORY(lcComm, "telvoran.comm")
