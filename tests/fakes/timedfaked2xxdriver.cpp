#include "timedfaked2xxdriver.h"

TimedFakeD2xxScope::TimedFakeD2xxScope()
{
    auto driver = std::make_unique<TimedFakeD2xxDriver>();
    fake = driver.get();
    previous = installD2xxDriver(std::move(driver));
}

TimedFakeD2xxScope::~TimedFakeD2xxScope()
{
    // What comes back is the fake itself; it goes with the returned pointer.
    installD2xxDriver(std::move(previous));
}
