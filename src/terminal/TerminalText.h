// Texts from the user's data (task names, a tool's first error) as the terminal commands print them:
// a newline in a name would break the table, and a right-to-left override would make the rest of the
// line read as something else.
#pragma once

#include <QString>

// The text with control characters (C0, DEL, C1) and bidirectional controls (U+200E, U+200F, U+061C,
// U+202A–U+202E, U+2066–U+2069) written as escapes: "\n", "\r", "\t", otherwise "\u" and four hex
// digits ("\u202E"). Every other character, a backslash included, stays as it is, so escaping an
// escaped text changes nothing. For the texts printed as text, never for JSON (which escapes itself).
QString TerminalText(const QString& text);
