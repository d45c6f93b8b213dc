#pragma once

#include <QString>

namespace orvane::InspectorTexts {

// Value texts of the inspector's rows. Whole numbers: "Padding" and
// "Background blur" round value x 100, "Corners" rounds the value; "Transition"
// and the focus rows truncate value x 100.
QString zoomLevel(double value);  // "2.1×"
QString duration(double seconds); // "1.5s"
QString transition(double value); // "snap" below 0.02, else "37%"
QString focus(double value);      // "50%"
QString roundedPercent(double value); // "22%"
QString corners(double value);    // "14"

} // namespace orvane::InspectorTexts
