// Values of the settings file read the way a person who edits it by hand means them.
#pragma once

#include <QSettings>
#include <QString>

#include <chrono>
#include <optional>

// The longest time limit the settings can set: 30 days. A limit is added to the clock in nanoseconds
// in several places, and a limit of centuries would overflow it there; nothing a user schedules here
// needs more than a month.
inline constexpr std::chrono::seconds kLongestTimeLimit{30 * 24 * 60 * 60};

// "true/false", "yes/no", "on/off" or "1/0", in any case and between spaces; nullopt for anything else.
std::optional<bool> ParseFlag(const QString& text);

// A flag of `store`: absent keeps `fallback`; a value that is no flag keeps it too, and is said on
// standard error once (again only after the key was read with a usable value or none in between).
bool FlagSetting(const QSettings& store, const QString& key, bool fallback);

// A time limit in whole seconds, 0 being no limit: more than kLongestTimeLimit is cut down to it; a
// negative value or one that is no whole number keeps `fallback`. Either is said once, as for a flag.
std::chrono::seconds TimeLimitSetting(const QSettings& store, const QString& key,
                                      std::chrono::seconds fallback);
