// One task as a subtree of the storage file: the element names, their order and their value texts.
#pragma once

#include "TaskInfo.h"

#include "xml/XmlDocument.h"

#include <optional>
#include <string>

// Appends the `task` element of a record to the file's UTF-8 text, `depth` tabs in, children in the
// order the file keeps them, as the property tree's XML writer lays a tree out.
void AppendTaskXml(std::string& out, const TaskInfo& task, int depth);

// Appends the character as UTF-8; a value that is no character becomes "?" (a lone surrogate) or "??"
// (beyond U+10FFFF).
void AppendUtf8(std::string& out, wchar_t c);

// The record a `task` subtree describes, or nothing when a required key is missing, a value cannot be
// converted, or the trigger or action type is unknown.
std::optional<TaskInfo> TaskFromTree(const XmlElement& node);
