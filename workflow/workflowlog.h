#ifndef WORKFLOWLOG_H
#define WORKFLOWLOG_H

#include <QLoggingCategory>

// Diagnostics of the scan and erase jobs. QT_LOGGING_RULES selects or silences them
// ("telvoran.workflow.debug=false"); a disabled line is not even formatted.
Q_DECLARE_LOGGING_CATEGORY(lcWorkflow)

#endif // WORKFLOWLOG_H
