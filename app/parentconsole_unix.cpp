#include "parentconsole.h"

void ParentConsole::attach() {}
