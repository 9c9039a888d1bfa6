// Fuzzes the reader of storage.xml. Whatever the bytes, reading must not fail; and the tasks that do
// load must survive the program's own save and a load of that save unchanged, since the engine
// rewrites the file from them after every change.
#include "FuzzCheck.h"

#include "model/StorageFile.h"
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <QBuffer>
#include <QByteArray>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {

// The decoding and encoding the file functions do, without the disk.
std::wstring DecodeFile(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QTextStream stream(&buffer);
    stream.setCodec("UTF-8");
    return stream.readAll().toStdWString();
}

QByteArray EncodeFile(const std::wstring& text) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QTextStream stream(&buffer);
    stream.setCodec("UTF-8");
    stream << QString::fromStdWString(text);
    stream.flush();
    return bytes;
}

// The records as the file can keep them: an export keeps only the options group of its format, a
// name only with its code, and an empty IFC version reads back as the default one.
std::vector<TaskInfo> AsKept(std::vector<TaskInfo> tasks) {
    for (TaskInfo& task : tasks) {
        auto* a = std::get_if<ExportAction>(&task.action);
        if (a == nullptr) {
            continue;
        }
        const ExportAction defaults;
        if (a->format == ExportFormat::IFC) {
            a->scheme_code.clear();
            a->scheme_name.clear();
            if (a->ifc_version.empty()) {
                a->ifc_version = defaults.ifc_version;
            }
            if (a->ifc_mapping_code.empty()) {
                a->ifc_mapping_name.clear();
            }
        } else {
            a->ifc_version = defaults.ifc_version;
            a->ifc_mapping_code.clear();
            a->ifc_mapping_name.clear();
            if (a->scheme_code.empty()) {
                a->scheme_name.clear();
            }
        }
    }
    return tasks;
}

// How deep the parser nested elements (attributes and comments are not elements).
int ElementDepth(const boost::property_tree::wptree& tree) {
    int deepest = 0;
    for (const auto& [key, child] : tree) {
        if (key != L"<xmlattr>" && key != L"<xmlcomment>") {
            deepest = std::max(deepest, 1 + ElementDepth(child));
        }
    }
    return deepest;
}

// The bound on nesting must never count fewer levels than the parser goes down, or a deep text could
// still reach it. Texts of the fuzzer's sizes are shallow enough to parse without the bound.
void CheckNestingCount(const std::wstring& text) {
    const int counted = XmlNesting(text, 1'000'000);
    if (counted > 5'000) {
        return;
    }
    boost::property_tree::wptree tree;
    try {
        std::wistringstream stream(text);
        boost::property_tree::read_xml(stream, tree);
    } catch (const boost::property_tree::xml_parser_error&) {
        return;
    }
    FuzzCheck(ElementDepth(tree) <= counted, "the nesting count is at least the parser's depth");
}

std::string Describe(const std::vector<TaskInfo>& tasks) {
    std::string text;
    for (const TaskInfo& task : tasks) {
        text += "[" + Printable(task.name) + " | " + Printable(task.description) + "]";
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const std::wstring text = DecodeFile(input);
    CheckNestingCount(text);
    const std::vector<TaskInfo> tasks = AsKept(TasksFromXml(text));

    const std::wstring saved = TasksToXml(TaskPointers(tasks));
    const QByteArray file = EncodeFile(saved);
    const std::vector<TaskInfo> reloaded = TasksFromXml(DecodeFile(file));
    if (reloaded != tasks) {
        std::fprintf(stderr, "loaded:   %s\nreloaded: %s\nsaved file:\n%s\nsaved again:\n%s\n",
                     Describe(tasks).c_str(), Describe(reloaded).c_str(), file.constData(),
                     EncodeFile(TasksToXml(TaskPointers(reloaded))).constData());
    }
    FuzzCheck(reloaded == tasks, "the tasks of a file read back equal after a save");
    FuzzCheck(TasksToXml(TaskPointers(reloaded)) == saved, "saving the tasks again writes the same text");
    return 0;
}
