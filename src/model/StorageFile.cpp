// Reading and writing storage.xml.
#include "StorageFile.h"

#include "KeepDamagedFile.h"
#include "TaskTree.h"
#include "platform/LargeBlock.h"
#include "platform/ReplacedFile.h"
#include "xml/XmlDocument.h"

#include <boost/property_tree/xml_parser.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextCodec>

#include <cstdint>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>

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

QString EngineLockPath() {
    return QFileInfo(DefaultStorageFilePath()).absolutePath() + QStringLiteral("/engine.lock");
}

namespace {

// The file's bytes: the declaration, then the tree config.tasks.task..., one element a line.
std::string TasksToUtf8(std::span<const TaskInfo* const> tasks) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>\n";
    if (tasks.empty()) {
        out += "\t<tasks/>\n";
    } else {
        out += "\t<tasks>\n";
        for (const TaskInfo* task : tasks) {
            AppendTaskXml(out, *task, 2);
        }
        out += "\t</tasks>\n";
    }
    out += "</config>\n";
    return out;
}

bool WriteStorageBytes(const QString& path, const std::string& bytes);

} // namespace

std::wstring TasksToXml(std::span<const TaskInfo* const> tasks) {
    const std::string bytes = TasksToUtf8(tasks);
    return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size())).toStdWString();
}

std::vector<TaskInfo> TasksFromXml(const std::wstring& text) {
    std::optional<StorageDamage> ignored;
    return TasksFromXml(text, ignored);
}

std::vector<TaskInfo> TasksFromXml(const std::wstring& text, std::optional<StorageDamage>& damage) {
    return TasksFromXml(std::wstring(text), damage);
}

namespace {

std::vector<TaskInfo> TasksFromDocument(const std::function<std::unique_ptr<XmlDocument>()>& parse,
                                        std::optional<StorageDamage>& damage);

} // namespace

std::vector<TaskInfo> TasksFromXml(std::wstring&& text, std::optional<StorageDamage>& damage) {
    return TasksFromDocument([&text] { return std::make_unique<XmlDocument>(std::move(text)); }, damage);
}

namespace {

std::vector<TaskInfo> TasksFromDocument(const std::function<std::unique_ptr<XmlDocument>()>& parse,
                                        std::optional<StorageDamage>& damage) {
    std::unique_ptr<XmlDocument> document;
    try {
        document = parse();
    } catch (const boost::property_tree::xml_parser_error& error) {
        damage =
            StorageDamage{StorageDamage::Kind::Malformed, 0, QString::fromLocal8Bit(error.what()), {}, {}};
        return {};
    }
    std::vector<TaskInfo> tasks;
    const auto config = document->Root().Child(L"config");
    const auto list = config ? config->Child(L"tasks") : std::nullopt;
    if (!list) {
        damage = StorageDamage{
            StorageDamage::Kind::NoTaskList, 0, QStringLiteral("no config.tasks element"), {}, {}};
        return tasks;
    }
    int leftOut = 0;
    for (const XmlElement& node : list->Children()) {
        if (node.Name() != L"task") {
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

// Well-formed UTF-8 decoded into a buffer of its own, as XmlDocument parses it.
struct WideText {
    std::shared_ptr<wchar_t[]> text;
    std::size_t length = 0; // up to the first NUL, where the parser stops
};

// The text of well-formed UTF-8 without a byte order mark, decoded in one pass; nothing for any byte
// sequence Qt's codec might read otherwise (a mark, a malformed or overlong sequence, a surrogate, a
// non-character), which then takes the codec's way. The buffer is not filled first: of a large file's
// (four bytes a character, never more characters than bytes) only the part written is ever touched.
std::optional<WideText> PlainUtf8(const QByteArray& bytes) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* const end = at + bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return std::nullopt;
    }
    WideText wide;
    const std::shared_ptr<std::byte[]> block =
        platform::AllocateLargeBlock((static_cast<std::size_t>(bytes.size()) + 1) * sizeof(wchar_t));
    wide.text = std::shared_ptr<wchar_t[]>(block, reinterpret_cast<wchar_t*>(block.get()));
    wchar_t* const begin = wide.text.get();
    wchar_t* out = begin;
    const wchar_t* firstNul = nullptr;
    while (at < end) {
        // Markup and indentation come in runs of ASCII: eight bytes at a time, as long as none is a NUL
        // (whose place the one-byte way below notes).
        while (end - at >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, at, sizeof word);
            constexpr std::uint64_t kHigh = 0x8080808080808080u;
            constexpr std::uint64_t kLow = 0x0101010101010101u;
            if ((word & kHigh) != 0 || ((word - kLow) & ~word & kHigh) != 0) {
                break;
            }
            for (int i = 0; i < 8; ++i) {
                out[i] = static_cast<wchar_t>(at[i]);
            }
            out += 8;
            at += 8;
        }
        if (at == end) {
            break;
        }
        const unsigned char lead = *at;
        // Two bytes (Cyrillic, for one): never below U+0080 with this lead, and no surrogate or
        // non-character lies below U+0800.
        if (lead >= 0xC2 && lead < 0xE0 && end - at >= 2 && (at[1] & 0xC0) == 0x80) {
            *out++ = static_cast<wchar_t>(((lead & 0x1Fu) << 6) | (at[1] & 0x3Fu));
            at += 2;
            continue;
        }
        if (lead < 0x80) {
            if (lead == 0 && firstNul == nullptr) {
                firstNul = out;
            }
            *out++ = static_cast<wchar_t>(lead);
            ++at;
            continue;
        }
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || end - at < length) {
            return std::nullopt;
        }
        std::uint32_t code = lead & (0x7F >> length);
        for (int i = 1; i < length; ++i) {
            if ((at[i] & 0xC0) != 0x80) {
                return std::nullopt;
            }
            code = (code << 6) | (at[i] & 0x3F);
        }
        const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000) ||
            (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE) {
            return std::nullopt;
        }
        *out++ = static_cast<wchar_t>(code);
        at += length;
    }
    *out = L'\0';
    wide.length = static_cast<std::size_t>((firstNul != nullptr ? firstNul : out) - begin);
    return wide;
}

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
    std::optional<StorageDamage> damage;
    if (std::optional<WideText> plain = PlainUtf8(*content)) {
        result.tasks = TasksFromDocument(
            [&plain] { return std::make_unique<XmlDocument>(std::move(plain->text), plain->length); },
            damage);
    } else {
        result.tasks = TasksFromXml(QTextCodec::codecForName("UTF-8")
                                        ->toUnicode(content->constData(), content->size(), &state)
                                        .toStdWString(),
                                    damage);
    }
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
    return WriteStorageBytes(path, TasksToUtf8(tasks));
}

bool WriteStorageFile(const QString& path, const std::wstring& text) {
    const QByteArray bytes = QString::fromStdWString(text).toUtf8();
    return WriteStorageBytes(path, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

namespace {

bool WriteStorageBytes(const QString& path, const std::string& bytes) {
    MakeFolderOf(path);
    std::error_code error;
    if (!platform::ReplaceFileContents(QFile::encodeName(path).toStdString(), bytes, error)) {
        PrintError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                QString::fromLocal8Bit(error.message().c_str())));
        return false;
    }
    return true;
}

} // namespace

std::vector<const TaskInfo*> TaskPointers(const std::vector<TaskInfo>& tasks) {
    std::vector<const TaskInfo*> pointers;
    pointers.reserve(tasks.size());
    for (const TaskInfo& task : tasks) {
        pointers.push_back(&task);
    }
    return pointers;
}
