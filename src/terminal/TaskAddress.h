// How a terminal command names a task: by its name, or by its place in the list as --list numbers it
// ("@3"), the only way to tell apart tasks of the same name.
#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The place an argument "@N" names (N one or more ASCII digits, counted from 1); none for a name. An "@N"
// is always a place, never a name: a task named so is reached by its place. A number too large for any
// list comes out as the largest place, which no list has.
std::optional<std::size_t> PlaceOf(const QString& argument);

// The index in `names` (list order) of the task the argument means, or the text that says why there is
// none: a place out of range or a name no task has ("нет задачи …"), or a name several tasks share (their
// places are named).
std::variant<std::size_t, QString> FindTask(const std::vector<std::wstring>& names, const QString& argument);

// The places of the tasks called `name`, counted from 1.
std::vector<std::size_t> PlacesOf(const std::vector<std::wstring>& names, const std::wstring& name);
