#ifndef SOAKSUMMARY_H
#define SOAKSUMMARY_H

#include "resourcecount.h"

#include <QString>

#include <map>

// One transport's row of the soak's table.
struct SoakSummary
{
    QString transport;
    int jobs = 0;
    std::map<QString, int> outcomes; // by the table's name of the outcome
    int mismatches = 0;
    int unended = 0;
    int restarts = 0;
    ResourceCount start; // after the warm-up
    ResourceCount end;
    double minutes = 0;
    bool grew = false;
};

#endif // SOAKSUMMARY_H
