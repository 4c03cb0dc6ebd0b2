#include "quietdecoding.h"

namespace {

int quietDepth = 0;

} // namespace

QuietDecoding::QuietDecoding()
{
    ++quietDepth;
}

QuietDecoding::~QuietDecoding()
{
    --quietDepth;
}

bool QuietDecoding::active()
{
    return quietDepth > 0;
}
