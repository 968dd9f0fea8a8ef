#pragma once

#include <QString>

#include <chrono>
#include <vector>

namespace tavrine::bench {

// The value below which `fraction` of the values lie (nearest rank); 0 for no values.
double percentile(std::vector<double> values, double fraction);

// text as a JSON string literal, quotes included.
QString jsonString(const QString& text);

double millisecondsSince(std::chrono::steady_clock::time_point start);

}  // namespace tavrine::bench
