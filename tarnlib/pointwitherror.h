#pragma once

#include <QList>
#include <QPointF>
#include <list>

namespace TarGse {

/**
 * @brief A spectrum point with the error its removal would cause: the working element of
 * `cull`, which thins a spectrum for previews while keeping its shape.
 */
struct PointWithError {
    double x = 0.0;
    double y = 0.0;
    double error = 0.0;
};

using PointWithErrorList = std::list<PointWithError>;

/**
 * The cost of removing the point at it: the largest finite double for the first and the last
 * point; for an inner point its distance from the line through its neighbours, weighted up for
 * peaks and valleys and by its height relative to maxY; 0 when it and both neighbours have the
 * same y.
 */
double getError(PointWithErrorList::const_iterator it, const PointWithErrorList& list, double maxY);

/**
 * Erases the point at it unless it is the first or the last (then returns it unchanged); with
 * recompute, the errors of the points now before and now at the removed place are recomputed.
 * Returns the removed place, now holding the successor.
 */
PointWithErrorList::iterator removePoint(PointWithErrorList::iterator it, PointWithErrorList& list,
                                         double maxY, bool recompute);

/**
 * Reduces in to at most targetCount points (fewer only by dropping zero-error points), always
 * taking the point of least error first (the earliest on ties) and stopping early at one whose
 * error exceeds a non-zero maxError; removeFlat drops the remaining zero-error points at the
 * end. The first and the last point always stay.
 */
void cull(const QList<QPointF>& in, QList<QPointF>& out, int targetCount, double maxError,
          bool removeFlat);

}  // namespace TarGse
