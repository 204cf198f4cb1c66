#pragma once

#include <QString>

namespace kolvane {

// The text a message box shows for a message number or result code: numbers
// above 32767 are string-table messages; smaller positive ones are system
// error codes (errno), shown as the system's text on one line without a
// final period. A code without a text (kFail, an unknown errno) gives an
// empty text.
QString MessageText(int id);

// A message with what it is about, as every message that names a file or
// folder reads: "<text>: <subject>", or "<text> <subject>" after a text that
// ends in a colon ("Can't create the folder:"). Either may be empty.
QString WithSubject(const QString& text, const QString& subject);

// A system's message text made fit for one line: a trailing ".\r\n" (or any
// part of it) cut, carriage returns removed, line feeds turned into spaces.
QString OneLineSystemText(const QString& text);

}  // namespace kolvane
