#pragma once
// The simulated regulator's request log as (command code, block or slice)
// pairs, and the sequences a settings read and write make.
#include "device/simulated_regulator.h"

#include <QList>
#include <QPair>

using Request = QPair<int, int>;

inline QList<Request> RequestsSince(const SimulatedRegulator& sim, std::size_t from)
{
    QList<Request> list;
    for (std::size_t i = from; i < sim.Requests.size(); ++i)
        list << Request(sim.Requests[i][0], sim.Requests[i][1]);
    return list;
}

inline QList<Request> ReadRequests()
{
    QList<Request> list;
    for (int n = 0; n < 9; ++n)
        list << Request(2, n);
    return list;
}

inline QList<Request> WriteRequests()
{
    QList<Request> list;
    for (int n = 0; n < 9; ++n)
        list << Request(3, n);
    list << Request(3, 255);
    return list;
}
