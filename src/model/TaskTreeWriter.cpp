// Writes the `task` subtree of the storage file from a record, straight into the file's UTF-8 text.
#include "TaskTree.h"

#include "ValueText.h"

#include <charconv>
#include <string>
#include <vector>

namespace {

// The text the property tree's XML writer makes of a tree (a tab per level, a line per element, an
// element without children or text as "<name/>"), made without building the tree: with 100,000
// remembered times the tree's nodes cost ten times the writing.
class XmlText {
public:
    XmlText(std::string& out, int depth) : m_out(out), m_depth(depth) {}

    void Leaf(const char* name, std::wstring_view value) {
        BeginLine();
        m_out += '<';
        m_out += name;
        if (value.empty()) {
            m_out += "/>\n";
            return;
        }
        m_out += '>';
        AppendText(value);
        m_out += "</";
        m_out += name;
        m_out += ">\n";
    }

    void Leaf(const char* name, std::int64_t value) {
        char digits[24];
        const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
        BeginLine();
        m_out += '<';
        m_out += name;
        m_out += '>';
        m_out.append(digits, end);
        m_out += "</";
        m_out += name;
        m_out += ">\n";
    }

    // An element whose children follow, up to the matching Close.
    void Open(const char* name) {
        BeginLine();
        m_out += '<';
        m_out += name;
        m_open.push_back(name);
        m_empty = true;
    }

    void Close() {
        const char* name = m_open.back();
        m_open.pop_back();
        if (m_empty) {
            m_empty = false;
            m_out += "/>\n";
            return;
        }
        Indent(m_depth + static_cast<int>(m_open.size()));
        m_out += "</";
        m_out += name;
        m_out += ">\n";
    }

private:
    void BeginLine() {
        if (m_empty) {
            m_empty = false;
            m_out += ">\n";
        }
        Indent(m_depth + static_cast<int>(m_open.size()));
    }

    void Indent(int depth) { m_out.append(static_cast<std::size_t>(depth), '\t'); }

    // The writer's entities; a text of spaces only begins with a character reference, so that a reader
    // that trims white space still gets it back.
    void AppendText(std::wstring_view text) {
        if (text.find_first_not_of(L' ') == std::wstring_view::npos) {
            m_out += "&#32;";
            m_out.append(text.size() - 1, ' ');
            return;
        }
        for (const wchar_t c : text) {
            switch (c) {
            case L'<':
                m_out += "&lt;";
                break;
            case L'>':
                m_out += "&gt;";
                break;
            case L'&':
                m_out += "&amp;";
                break;
            case L'"':
                m_out += "&quot;";
                break;
            case L'\'':
                m_out += "&apos;";
                break;
            default:
                AppendUtf8(m_out, c);
                break;
            }
        }
    }

    std::string& m_out;
    const int m_depth;
    std::vector<const char*> m_open;
    bool m_empty = false; // the last element opened has no child yet: its ">" is still to come
};

// The file numbers weekdays the ISO way (Monday 1 ... Sunday 7) but keeps the set's own order,
// which begins with Sunday.
std::int64_t IsoWeekday(Weekday day) {
    return day == 0 ? 7 : day;
}

// Children are written in the order of these calls, which is the order of the file; repeated names
// (weekday, document) are all kept.
void WriteTrigger(XmlText& xml, const Trigger& trigger) {
    std::visit(
        [&xml](const auto& t) {
            using T = std::decay_t<decltype(t)>;
            if constexpr (std::is_same_v<T, DailyTrigger>) {
                xml.Leaf("type", L"daily");
                xml.Leaf("repeat_interval", t.repeat_interval);
            } else if constexpr (std::is_same_v<T, WeeklyTrigger>) {
                xml.Leaf("type", L"weekly");
                xml.Leaf("repeat_interval", t.repeat_interval);
                xml.Open("weekdays");
                for (Weekday day : t.weekdays) {
                    xml.Leaf("weekday", IsoWeekday(day));
                }
                xml.Close();
            } else {
                xml.Leaf("type", L"monthly");
                xml.Leaf("repeat_interval", t.repeat_interval);
                xml.Open("months");
                for (auto month : t.months) {
                    xml.Leaf("month", month);
                }
                xml.Close();
                xml.Open("days");
                for (auto day : t.days) {
                    xml.Leaf("day", day);
                }
                xml.Close();
            }
        },
        trigger);
}

void WriteModificationTimes(XmlText& xml, const ModificationTimes& times) {
    xml.Open("modification_times");
    for (const auto& [path, time] : times) {
        xml.Open("document");
        xml.Leaf("path", path);
        xml.Leaf("last_modified", time.time_since_epoch().count());
        xml.Close();
    }
    xml.Close();
}

// The modification times mean something only while the option is on; otherwise they are dropped.
template <typename A>
void WriteChangedDocuments(XmlText& xml, const A& action) {
    xml.Leaf("only_changed_documents", BoolToText(action.only_changed_documents));
    if (action.only_changed_documents) {
        WriteModificationTimes(xml, action.modification_times);
    }
}

void WriteExport(XmlText& xml, const ExportAction& a) {
    xml.Leaf("type", L"export");
    xml.Leaf("connection_id", UuidToText(a.connection_id));
    xml.Leaf("output_path", a.output_path);
    xml.Leaf("project_path", a.project_path);
    WriteChangedDocuments(xml, a);
    // Only the options group of the chosen format is kept.
    if (a.format == ExportFormat::IFC) {
        if (!a.ifc_version.empty()) {
            xml.Leaf("ifc_version", a.ifc_version);
        }
        if (!a.ifc_mapping_code.empty()) {
            xml.Leaf("ifc_mapping_code", a.ifc_mapping_code);
            xml.Leaf("ifc_mapping_name", a.ifc_mapping_name);
        }
    } else if (!a.scheme_code.empty()) {
        xml.Leaf("scheme_code", a.scheme_code);
        xml.Leaf("scheme_name", a.scheme_name);
    }
    xml.Leaf("format", FormatToText(a.format));
}

void WriteAction(XmlText& xml, const Action& action) {
    std::visit(
        [&xml](const auto& a) {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, BackupAction>) {
                xml.Leaf("type", L"backup");
                xml.Leaf("connection_id", UuidToText(a.connection_id));
                xml.Leaf("source_path", a.source_path);
                xml.Leaf("destination_path", a.destination_path);
            } else if constexpr (std::is_same_v<T, ExportAction>) {
                WriteExport(xml, a);
            } else if constexpr (std::is_same_v<T, CommandAction>) {
                xml.Leaf("type", L"command");
                xml.Leaf("executable", a.executable);
                xml.Leaf("arguments", a.arguments);
                xml.Leaf("working_directory", a.working_directory);
            } else {
                xml.Leaf("type", L"check");
                xml.Leaf("ids_file", a.ids_file);
                xml.Leaf("ids_file_mode", BoolToText(a.ids_file_mode));
                xml.Leaf("ifc_file", a.ifc_file);
                xml.Leaf("ifc_file_mode", BoolToText(a.ifc_file_mode));
                WriteChangedDocuments(xml, a);
            }
        },
        action);
}

// Written whole once any option differs from its default: a reader then sees every value as it was set.
void WriteOptions(XmlText& xml, const TaskOptions& options) {
    xml.Open("options");
    xml.Leaf("paused", BoolToText(options.paused));
    xml.Leaf("retry_count", options.retry_count);
    xml.Leaf("retry_interval_seconds", options.retry_interval_seconds);
    xml.Leaf("only_when_folders_available", BoolToText(options.only_when_folders_available));
    xml.Leaf("only_on_mains_power", BoolToText(options.only_on_mains_power));
    xml.Close();
}

} // namespace

void AppendUtf8(std::string& out, wchar_t c) {
    auto code = static_cast<std::uint32_t>(c);
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    // No character: written as Qt's text codec has always written it. A lone surrogate is "?"; a value
    // beyond U+10FFFF was cut into two UTF-16 units as if it were a character, and those are written.
    if (code >= 0xD800 && code < 0xE000) {
        out += '?';
        return;
    }
    if (code > 0x10FFFF) {
        const std::uint32_t high = ((code >> 10) + 0xD7C0) & 0xFFFF;
        const std::uint32_t low = code % 0x400 + 0xDC00;
        if (high >= 0xD800 && high < 0xDC00) {
            AppendUtf8(out, static_cast<wchar_t>(((high - 0xD800) << 10) + (low - 0xDC00) + 0x10000));
        } else {
            AppendUtf8(out, static_cast<wchar_t>(high));
            out += '?';
        }
        return;
    }
    if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (code & 0x3F));
}

void AppendTaskXml(std::string& out, const TaskInfo& task, int depth) {
    XmlText xml(out, depth);
    xml.Open("task");
    xml.Leaf("name", task.name);
    xml.Leaf("description", task.description);
    xml.Leaf("starting_point", task.starting_point.time_since_epoch().count());
    xml.Leaf("run_only_on_working_days", BoolToText(task.run_only_on_working_days));
    xml.Open("trigger");
    WriteTrigger(xml, task.trigger);
    xml.Close();
    xml.Open("action");
    WriteAction(xml, task.action);
    xml.Close();
    if (!task.options.IsDefault()) {
        WriteOptions(xml, task.options);
    }
    xml.Close();
}
