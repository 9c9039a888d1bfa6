// Finding the task a terminal command names, in the running program's list or in the storage file.
#include "TaskAddress.h"

#include "TaskReport.h"

#include <algorithm>
#include <limits>

std::optional<std::size_t> PlaceOf(const QString& argument) {
    if (argument.size() < 2 || !argument.startsWith(u'@') ||
        !std::all_of(argument.begin() + 1, argument.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return std::nullopt;
    }
    bool fits = false;
    const qulonglong place = argument.mid(1).toULongLong(&fits);
    return fits && place <= std::numeric_limits<std::size_t>::max() ? static_cast<std::size_t>(place)
                                                                    : std::numeric_limits<std::size_t>::max();
}

std::vector<std::size_t> PlacesOf(const std::vector<std::wstring>& names, const std::wstring& name) {
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            places.push_back(i + 1);
        }
    }
    return places;
}

std::variant<std::size_t, QString> FindTask(const std::vector<std::wstring>& names, const QString& argument) {
    if (const std::optional<std::size_t> place = PlaceOf(argument)) {
        if (*place == 0 || *place > names.size()) {
            return NoPlaceText(argument, names.size());
        }
        return *place - 1;
    }
    const std::vector<std::size_t> places = PlacesOf(names, argument.toStdWString());
    if (places.empty()) {
        return NoTaskText(argument);
    }
    if (places.size() > 1) {
        return SeveralTasksText(argument, places.size(), places);
    }
    return places.front() - 1;
}
