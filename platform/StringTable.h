#pragma once

#include <QString>

namespace kolvane {

// Every user-visible text by its number: 40000s labels and choices, 50000s
// tooltips, 60000s messages. An unknown number gives an empty text.
QString StringText(int id);

// The text with each "%s" and "%d" replaced, in order, by the given values.
QString StringText(int id, const QStringList& values);

}  // namespace kolvane
