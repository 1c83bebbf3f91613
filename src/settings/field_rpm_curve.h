#pragma once
// The field-limit-versus-engine-speed curve as plain logic: the conversion
// between the record's twelve bytes and the chart's point values, the point
// labels and the fixed axes of the chart.
#include "records/settings_record.h"

#include <QString>

#include <array>

using CurvePoints = std::array<double, FieldRpmPointCount>;

// Field limits outside 30 to 100 % are never drawn nor stored.
constexpr double CurveMinimumPercent = 30.0;
constexpr double CurveMaximumPercent = 100.0;

// Point i sits at (i + 1) x 500 1/min.
constexpr double CurveRpmStep = 500.0;
constexpr double CurvePointRpm(int index) { return (index + 1) * CurveRpmStep; }

// Bottom axis: engine speed.
constexpr double RpmAxisMinimum = 450.0;
constexpr double RpmAxisMaximum = 6100.0;
constexpr double RpmAxisLabelStep = 1000.0;
// Left axis: field limit.
constexpr double FieldAxisMinimum = 25.0;
constexpr double FieldAxisMaximum = 105.0;
constexpr double FieldAxisLabelStep = 10.0;

QString RpmAxisTitle();   // "Engine RPM, 1/min"
QString FieldAxisTitle(); // "Field Limit, %"

// Limits a value to 30 to 100; a value that is not a number takes 30.
double LimitCurveValue(double percent);

// UpdateFieldRpmChart: byte i limited to 30 to 100.
CurvePoints CurvePointsFromRecord(const FieldRpmCurve& curve);

// StoreFieldRpmChart: each value truncated toward zero, limited to 30 to 100.
FieldRpmCurve CurveFromPoints(const CurvePoints& points);

// The label drawn at a point: the value rounded to a whole number, so 55.7
// is labelled 56 although it is stored as 55.
QString CurvePointLabel(double percent);
