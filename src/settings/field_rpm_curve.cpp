#include "settings/field_rpm_curve.h"

#include "views/value_format.h"

#include <cmath>

QString RpmAxisTitle()
{
    return QStringLiteral("Engine RPM, 1/min");
}

QString FieldAxisTitle()
{
    return QStringLiteral("Field Limit, %");
}

double LimitCurveValue(double percent)
{
    if (!(percent >= CurveMinimumPercent))
        return CurveMinimumPercent;
    return percent > CurveMaximumPercent ? CurveMaximumPercent : percent;
}

CurvePoints CurvePointsFromRecord(const FieldRpmCurve& curve)
{
    CurvePoints points{};
    for (int i = 0; i < FieldRpmPointCount; ++i)
        points[std::size_t(i)] = LimitCurveValue(double(curve[std::size_t(i)]));
    return points;
}

FieldRpmCurve CurveFromPoints(const CurvePoints& points)
{
    FieldRpmCurve curve{};
    for (int i = 0; i < FieldRpmPointCount; ++i) {
        // Truncating first and limiting after gives the same byte as the
        // other way round for every value, and limiting keeps the cast safe.
        const double whole = LimitCurveValue(std::trunc(points[std::size_t(i)]));
        curve[std::size_t(i)] = uint8_t(whole);
    }
    return curve;
}

QString CurvePointLabel(double percent)
{
    return FormatRounded(percent);
}
