// One task as a subtree of the storage file: the element names, their order and their value texts.
#pragma once

#include "TaskInfo.h"

#include <boost/property_tree/ptree.hpp>

#include <optional>

// The `task` subtree of a record, children in the order the file keeps them.
boost::property_tree::wptree TaskToTree(const TaskInfo& task);

// The record a `task` subtree describes, or nothing when a required key is missing, a value cannot be
// converted, or the trigger or action type is unknown.
std::optional<TaskInfo> TaskFromTree(const boost::property_tree::wptree& node);
