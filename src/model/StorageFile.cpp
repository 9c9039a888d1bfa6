// Reading and writing storage.xml.
#include "StorageFile.h"

#include "KeepDamagedFile.h"
#include "TaskTree.h"
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextCodec>
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
    std::optional<StorageDamage> ignored;
    return TasksFromXml(text, ignored);
}

std::vector<TaskInfo> TasksFromXml(const std::wstring& text, std::optional<StorageDamage>& damage) {
    wptree root;
    try {
        root = ReadXmlTree(text);
    } catch (const boost::property_tree::xml_parser_error& error) {
        damage =
            StorageDamage{StorageDamage::Kind::Malformed, 0, QString::fromLocal8Bit(error.what()), {}, {}};
        return {};
    }
    std::vector<TaskInfo> tasks;
    const auto list = root.get_child_optional(L"config.tasks");
    if (!list) {
        damage = StorageDamage{
            StorageDamage::Kind::NoTaskList, 0, QStringLiteral("no config.tasks element"), {}, {}};
        return tasks;
    }
    int leftOut = 0;
    for (const auto& [name, node] : *list) {
        if (name != L"task") {
            continue;
        }
        if (auto task = TaskFromTree(node)) {
            tasks.push_back(std::move(*task));
        } else {
            ++leftOut;
        }
    }
    if (leftOut > 0) {
        damage = StorageDamage{StorageDamage::Kind::TasksLeftOut,
                               leftOut,
                               QStringLiteral("%1 of %2 tasks could not be read and were left out")
                                   .arg(leftOut)
                                   .arg(leftOut + static_cast<int>(tasks.size())),
                               {},
                               {}};
    }
    return tasks;
}

namespace {

// The file's tasks, and what kept it from being read whole. Nothing is reported for a missing file.
StorageContents ReadStorageFile(const QString& path, std::optional<QByteArray>& content) {
    MakeFolderOf(path);
    StorageContents result;
    QFile file(path);
    if (!file.exists()) {
        return result;
    }
    // No newline translation: the file has plain LF line ends, and a CR inside a value must survive.
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray bytes = file.readAll();
        if (file.error() == QFile::NoError) {
            content = std::move(bytes);
        }
    }
    if (!content) {
        result.damage = StorageDamage{StorageDamage::Kind::Unreadable, 0, file.errorString(), {}, {}};
        return result;
    }
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForName("UTF-8")->toUnicode(content->constData(), content->size(), &state);
    std::optional<StorageDamage> damage;
    result.tasks = TasksFromXml(text.toStdWString(), damage);
    if (state.invalidChars > 0) {
        // Read on with the bytes replaced, but the file must be kept: a save would lose them for good.
        damage = StorageDamage{StorageDamage::Kind::NotUtf8,
                               0,
                               QStringLiteral("bytes that are not UTF-8 text: %1").arg(state.invalidChars),
                               {},
                               {}};
    }
    result.damage = std::move(damage);
    return result;
}

} // namespace

std::vector<TaskInfo> LoadStorageFile(const QString& path) {
    std::optional<QByteArray> content;
    return ReadStorageFile(path, content).tasks;
}

StorageContents InspectStorageFile(const QString& path) {
    std::optional<QByteArray> content;
    return ReadStorageFile(path, content);
}

StorageContents LoadStorageFileKeepingDamage(const QString& path) {
    std::optional<QByteArray> content;
    StorageContents result = ReadStorageFile(path, content);
    if (!result.damage) {
        return result;
    }
    StorageDamage& damage = *result.damage;
    damage.keptAs = KeepDamagedFile(path, content, damage.keepError);
    const QString where = damage.keptAs.isEmpty()
                              ? QStringLiteral("it could not be kept: %1").arg(damage.keepError)
                              : QStringLiteral("the file as it was read is kept as %1")
                                    .arg(QDir::toNativeSeparators(damage.keptAs));
    PrintError(QStringLiteral("%1: %2; %3").arg(QDir::toNativeSeparators(path), damage.detail, where));
    return result;
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
