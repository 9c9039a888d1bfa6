// Which documents and IFC files changed since a task last saw them, for runs limited to changed ones.
#pragma once

#include "model/TaskInfo.h"

#include <boost/date_time/posix_time/ptime.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Remembers `time` for `key` and tells whether the document counts as changed: true when the key was
// not there or held another time (earlier or later), false when it held exactly this time. The map is
// changed at once; entries are never removed here.
bool UpdateModificationTime(ModificationTimes& times, const std::wstring& key, TimePoint time);

// A repository item's modification time in microseconds since 1970-01-01 on the same scale (no
// time-zone conversion). Nothing for a time that is not a real date and time.
std::optional<std::int64_t> MicrosecondsSince1970(const boost::posix_time::ptime& time);

// A repository item's modification time as a task remembers it: microseconds since 1970-01-01 on the
// same scale (no time-zone conversion), truncated toward zero to whole milliseconds. Nothing for a time
// that is not a real date and time.
std::optional<TimePoint> ModificationTimePoint(const boost::posix_time::ptime& time);

// The same for a repository document's time. A document without a valid time counts as changed at
// every run and nothing is remembered for it, so that it is never skipped for good by mistake.
bool UpdateModificationTime(ModificationTimes& times, const std::wstring& key,
                            const boost::posix_time::ptime& time);

// The IFC files of a check that changed since the last run, in the order they are to be checked; their
// new times are remembered in the action. `ifc_file` names either a folder (its "*.ifc" files, any
// case of the extension, not its sub-folders, no hidden files, by name ignoring case) or one file.
// Keys and results are absolute paths with "/". A file whose time cannot be read (it is missing) is
// returned at every run without being remembered, so the check tool reports it. An empty `ifc_file`
// gives nothing. `candidates`, when given, gets the number of files looked at, changed or not.
std::vector<std::wstring> CollectChangedIfcFiles(CheckAction& action, std::size_t* candidates = nullptr);
