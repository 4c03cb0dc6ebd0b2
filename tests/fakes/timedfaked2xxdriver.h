#ifndef TIMEDFAKED2XXDRIVER_H
#define TIMEDFAKED2XXDRIVER_H

#include "faked2xxdriver.h"

// The fake driver notes when each write came (writeTimes), for checking retry schedules.
using TimedFakeD2xxDriver = FakeD2xxDriver;
using TimedFakeD2xxScope = FakeD2xxScope;

#endif // TIMEDFAKED2XXDRIVER_H
