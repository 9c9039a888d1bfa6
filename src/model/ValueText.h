// The text forms of the storage file's values.
#pragma once

#include "TaskInfo.h"

#include <cstdint>
#include <optional>
#include <string>

std::wstring BoolToText(bool value);
std::wstring FormatToText(ExportFormat format);
std::wstring UuidToText(const boost::uuids::uuid& id);

// Numbers are read from the whole element text: a number followed only by white space is accepted,
// anything else after it (or no number at all) is not.
std::optional<std::int64_t> ParseInt64(const std::wstring& text);
std::optional<std::int32_t> ParseInt32(const std::wstring& text);
std::optional<std::uint8_t> ParseByte(const std::wstring& text);
// "true", "false", 1 or 0.
std::optional<bool> ParseBool(const std::wstring& text);
// Canonical, upper-case or braced UUID text.
std::optional<boost::uuids::uuid> ParseUuid(const std::wstring& text);
// "DXF", "MIF", "PNR", "DWG" or "IFC", exactly.
std::optional<ExportFormat> ParseFormat(const std::wstring& text);
