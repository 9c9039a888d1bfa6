// The storage file that holds every task: where it lives, and reading and writing it whole.
#pragma once

#include "StorageDamage.h"
#include "TaskInfo.h"

#include <QString>

#include <optional>
#include <span>
#include <string>
#include <vector>

// "<generic data location>/Zelkor-Vostal/ZelkorScheduler/storage.xml".
QString DefaultStorageFilePath();
// The roles' file of the user's installation, beside the storage file ("engine.lock"): whoever holds its
// engine role may write the storage file.
QString EngineLockPath();

// The tasks of a file in file order, bad tasks left out. A missing, unreadable or malformed file gives
// no tasks. Never writes the file.
std::vector<TaskInfo> LoadStorageFile(const QString& path);

struct StorageContents {
    std::vector<TaskInfo> tasks;
    std::optional<StorageDamage> damage;
};

// LoadStorageFile that also says what kept the file from being read whole; keeps no copy and reports
// nothing (for a reader beside the running program).
StorageContents InspectStorageFile(const QString& path);

// LoadStorageFile for the engine's start: when the file exists but cannot be read whole (unreadable, not
// UTF-8, not well-formed, no task list) or a task in it is left out, the file is kept beside itself
// before anything can write over it (KeepDamagedFile: the bytes as read, or the file moved aside when it
// could not be read at all), and the reason and the copy's path are printed on standard error.
StorageContents LoadStorageFileKeepingDamage(const QString& path);

// Replaces the file in one step with the given tasks, in the given order. On failure the previous file
// stays as it was and the reason is printed on standard error; returns whether the file was written.
bool SaveStorageFile(const QString& path, std::span<const TaskInfo* const> tasks);

// Replaces the file in one step with a text made by TasksToXml; otherwise as SaveStorageFile.
bool WriteStorageFile(const QString& path, const std::wstring& text);

// The file's text, and the tasks of a text: the parts of loading and saving that do not touch disk.
std::wstring TasksToXml(std::span<const TaskInfo* const> tasks);
std::vector<TaskInfo> TasksFromXml(const std::wstring& text);
// The same, saying what was wrong with a text that did not give every task.
std::vector<TaskInfo> TasksFromXml(const std::wstring& text, std::optional<StorageDamage>& damage);
// The same, parsing the text where it stands.
std::vector<TaskInfo> TasksFromXml(std::wstring&& text, std::optional<StorageDamage>& damage);

// Pointers to every element of a list, for the calls above.
std::vector<const TaskInfo*> TaskPointers(const std::vector<TaskInfo>& tasks);
