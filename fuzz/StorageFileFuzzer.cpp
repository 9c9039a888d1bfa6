// Fuzzes the reader of storage.xml. Whatever the bytes, reading must not fail; and the tasks that do
// load must survive the program's own save and a load of that save unchanged, since the engine
// rewrites the file from them after every change.
#include "FuzzCheck.h"

#include "model/StorageFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QTextStream>

#include <cstdio>

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
    const std::vector<TaskInfo> tasks = TasksFromXml(DecodeFile(input));

    const std::wstring saved = TasksToXml(TaskPointers(tasks));
    const QByteArray file = EncodeFile(saved);
    const std::vector<TaskInfo> reloaded = TasksFromXml(DecodeFile(file));
    if (reloaded != tasks) {
        std::fprintf(stderr, "loaded:   %s\nreloaded: %s\nsaved file:\n%s\n", Describe(tasks).c_str(),
                     Describe(reloaded).c_str(), file.constData());
    }
    FuzzCheck(reloaded == tasks, "the tasks of a file read back equal after a save");
    FuzzCheck(TasksToXml(TaskPointers(reloaded)) == saved, "saving the tasks again writes the same text");
    return 0;
}
