#include "frameslog.h"

Q_LOGGING_CATEGORY(lcFrames, "telvoran.frames")
