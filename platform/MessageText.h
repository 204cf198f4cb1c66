#pragma once

#include <QString>

namespace kolvane {

// The text a message box shows for a message number or result code: numbers
// above 32767 are string-table messages; smaller positive ones are system
// error codes (errno), shown as the system's text on one line without a
// final period. A code without a text (kFail, an unknown errno) gives an
// empty text.
QString MessageText(int id);

// A system's message text made fit for one line: a trailing ".\r\n" (or any
// part of it) cut, carriage returns removed, line feeds turned into spaces.
QString OneLineSystemText(const QString& text);

}  // namespace kolvane
