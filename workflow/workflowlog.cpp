#include "workflowlog.h"

Q_LOGGING_CATEGORY(lcWorkflow, "telvoran.workflow")
