// What must hold before a timed run of a task with run conditions starts, and what becomes of a slot
// that waits for them. Pure rules: the world is asked through a probe.
#pragma once

#include "model/TaskInfo.h"

#include <boost/uuid/uuid.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// How the rules see the world.
struct ConditionProbe {
    std::function<bool(const std::wstring& path)> exists; // a file or folder is there
    std::function<bool()> onBattery;
    // The folder of the repository a connection opens; none when it is unknown or not a local folder.
    std::function<std::optional<std::wstring>(const boost::uuids::uuid&)> repositoryFolder;
};

// A file or folder the task reads or writes, and what the user is told while it is missing.
struct NeededPath {
    std::wstring path;
    std::wstring missing; // "папка назначения недоступна"
};

// What the task needs to find in place: nothing unless it asks to run only when its folders are there.
std::vector<NeededPath> NeededPaths(const TaskInfo& task, const ConditionProbe& probe);

// Why a timed run of the task cannot start now; empty when nothing keeps it.
std::wstring UnmetCondition(const TaskInfo& task, const ConditionProbe& probe);

// What becomes of a slot given what is unmet now: it runs when nothing is, it is skipped once the task's
// next slot has come (that one is served instead), and it waits otherwise.
enum class SlotStep { Run, Wait, Skip };
SlotStep JudgeSlot(const std::wstring& unmet, TimePoint now, TimePoint nextSlot);
