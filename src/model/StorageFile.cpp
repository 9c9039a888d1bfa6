// Reading and writing storage.xml.
#include "StorageFile.h"

#include "TaskTree.h"
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include <iostream>
#include <sstream>

using boost::property_tree::wptree;

namespace {

void PrintError(const QString& message) {
    std::cerr << message.toLocal8Bit().constData() << '\n';
}

// The folder is made before every read and write. Failing to make it is reported but never stops the
// program: the read or write that follows simply fails.
void MakeFolderOf(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        PrintError(QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder)));
    }
}

} // namespace

QString DefaultStorageFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Zelkor-Vostal/ZelkorScheduler/storage.xml");
}

std::wstring TasksToXml(std::span<const TaskInfo* const> tasks) {
    wptree root;
    wptree& list = root.put_child(L"config.tasks", wptree());
    for (const TaskInfo* task : tasks) {
        list.push_back({L"task", TaskToTree(*task)});
    }
    std::wostringstream text;
    boost::property_tree::write_xml(
        text, root, boost::property_tree::xml_writer_make_settings<std::wstring>(L'\t', 1, L"utf-8"));
    return std::move(text).str();
}

std::vector<TaskInfo> TasksFromXml(const std::wstring& text) {
    wptree root;
    try {
        root = ReadXmlTree(text);
    } catch (const boost::property_tree::xml_parser_error&) {
        return {};
    }
    std::vector<TaskInfo> tasks;
    const auto list = root.get_child_optional(L"config.tasks");
    if (!list) {
        return tasks;
    }
    for (const auto& [name, node] : *list) {
        if (name != L"task") {
            continue;
        }
        if (auto task = TaskFromTree(node)) {
            tasks.push_back(std::move(*task));
        }
    }
    return tasks;
}

std::vector<TaskInfo> LoadStorageFile(const QString& path) {
    MakeFolderOf(path);
    QFile file(path);
    // No newline translation: the file has plain LF line ends, and a CR inside a value must survive.
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    return TasksFromXml(stream.readAll().toStdWString());
}

bool SaveStorageFile(const QString& path, std::span<const TaskInfo* const> tasks) {
    std::wstring text;
    try {
        text = TasksToXml(tasks);
    } catch (const boost::property_tree::xml_parser_error& error) {
        PrintError(QString::fromLocal8Bit(error.what()));
        return false;
    }
    return WriteStorageFile(path, text);
}

bool WriteStorageFile(const QString& path, const std::wstring& text) {
    MakeFolderOf(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        PrintError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << QString::fromStdWString(text);
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.commit()) {
        PrintError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

std::vector<const TaskInfo*> TaskPointers(const std::vector<TaskInfo>& tasks) {
    std::vector<const TaskInfo*> pointers;
    pointers.reserve(tasks.size());
    for (const TaskInfo& task : tasks) {
        pointers.push_back(&task);
    }
    return pointers;
}
