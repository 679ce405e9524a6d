// What the schedule tests read off a profile's day grid.
#pragma once

#include "schedules/schedulestore.h"

// How many cells of the profile's grid are set.
inline int setCells(const ScheduleProfile &p)
{
    int n = 0;
    for (const auto &row : p.Grid)
        for (quint8 cell : row)
            n += cell != 0;
    return n;
}
