// Settings files: UTF-8 text on disk, wide strings in memory, tab-indented XML as the suite writes it.
#include "ConfigFile.h"

#include "Error.h"
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <sstream>

namespace arkon_cfg {
namespace {

constexpr const wchar_t* kXmlSpace = L" \t\r\n";

// Text around the children of an element is the writer's indentation: dropped, so that it does not
// pile up when the file is written again. A leaf's text is a value and is kept exactly, spaces and line
// breaks included (a folder name may end in a space).
void DropIndentation(boost::property_tree::wptree& tree) {
    bool hasChildren = false;
    for (auto& [key, child] : tree) {
        if (key != L"<xmlattr>") {
            hasChildren = true;
        }
        DropIndentation(child);
    }
    if (hasChildren) {
        std::wstring& text = tree.data();
        const auto first = text.find_first_not_of(kXmlSpace);
        text = first == std::wstring::npos ? std::wstring()
                                           : text.substr(first, text.find_last_not_of(kXmlSpace) - first + 1);
    }
}

exceptions::Error FileError(const char* russian, const QString& path, const QString& reason) {
    return exceptions::Error(
        QString::fromUtf8(russian).arg(QDir::toNativeSeparators(path), reason).toStdWString());
}

} // namespace

std::optional<boost::property_tree::wptree> ReadConfigFile(const QString& path) {
    QFile file(path);
    if (!file.exists()) {
        return std::nullopt;
    }
    // No newline translation on either side: a CR inside a value must survive a rewrite.
    if (!file.open(QIODevice::ReadOnly)) {
        throw FileError("Не удалось прочитать файл «%1»: %2", path, file.errorString());
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    const QString text = stream.readAll();
    if (stream.status() != QTextStream::Ok || file.error() != QFileDevice::NoError) {
        throw FileError("Не удалось прочитать файл «%1»: %2", path, file.errorString());
    }
    boost::property_tree::wptree tree;
    if (text.trimmed().isEmpty()) {
        return tree;
    }
    try {
        tree = ReadXmlTree(text.toStdWString());
    } catch (const boost::property_tree::xml_parser_error& error) {
        throw FileError("Файл «%1» повреждён: %2", path, QString::fromLocal8Bit(error.what()));
    }
    DropIndentation(tree);
    return tree;
}

void WriteConfigFile(const QString& path, const boost::property_tree::wptree& tree) {
    std::wostringstream output;
    try {
        boost::property_tree::write_xml(
            output, tree, boost::property_tree::xml_writer_make_settings<std::wstring>(L'\t', 1, L"utf-8"));
    } catch (const boost::property_tree::xml_parser_error& error) {
        throw FileError("Не удалось записать файл «%1»: %2", path, QString::fromLocal8Bit(error.what()));
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        throw FileError("Не удалось записать файл «%1»: %2", path,
                        QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(folder)));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw FileError("Не удалось записать файл «%1»: %2", path, file.errorString());
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << QString::fromStdWString(output.str());
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.commit()) {
        throw FileError("Не удалось записать файл «%1»: %2", path, file.errorString());
    }
}

} // namespace arkon_cfg
