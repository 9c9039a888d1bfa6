// How much of a text the window shows: a task name of megabytes (a damaged or hand-made storage file)
// would keep the window laying it out for minutes. The task itself keeps its whole name.
#pragma once

#include <QString>

#include <string>

constexpr int kShownNameLength = 300;

// The text up to kShownNameLength characters, followed by "…" when it was longer; never half of a
// surrogate pair.
QString ShownName(const QString& text);

// The same for a task's name, converting no more of it than is shown.
QString ShownName(const std::wstring& name);
