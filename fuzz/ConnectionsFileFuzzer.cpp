// Fuzzes the reader of the user's connections file and the writing back of an edited list. The input
// is the file's bytes, optionally followed by a NUL and the name, server and database of one more
// connection (separated by NUL) that the editor adds. Reading must never fail other than by the
// library's own error; a list written back must read back equal, and everything else the file held
// must stay.
#include "FuzzCheck.h"

#include "repository/Config.h"
#include "repository/ConfigFile.h"
#include "repository/ConnectionsModel.h"
#include "repository/Error.h"
#include "repository/FindConnection.h"
#include "repository/Utf8.h"

#include <boost/uuid/string_generator.hpp>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using boost::property_tree::wptree;

namespace {

// Memory-backed when the machine has /dev/shm: every input writes the file twice.
const QString& FilePath() {
    static const QTemporaryDir folder(
        (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
        QStringLiteral("/zelkor-fuzz-XXXXXX"));
    static const QString path = folder.filePath(QStringLiteral("ConnectionsConfig.xml"));
    return path;
}

void WriteFile(std::string_view bytes) {
    QFile file(FilePath());
    FuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the test file can be written");
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::vector<arkon_cm::Connection> ReadConnections() {
    const arkon_cfg::Config config(FilePath());
    arkon_cm::ConnectionsModel model;
    model.Init(config.GetConfigSubtree(kConnectionsSubtree));
    return model.GetConnections();
}

// The tree without the connections part the model owns, or nothing when the file has no such part.
std::optional<wptree> WithoutConnections(wptree tree) {
    const auto manager = tree.get_child_optional(L"config.connections_manager");
    if (!manager) {
        return std::nullopt;
    }
    const auto found = manager->find(L"connections");
    if (found == manager->not_found()) {
        return std::nullopt;
    }
    manager->erase(manager->to_iterator(found));
    return tree;
}

// What the part held besides the entries the model lists, in file order.
std::vector<std::pair<std::wstring, wptree>> Unlisted(const wptree& tree) {
    std::vector<std::pair<std::wstring, wptree>> kept;
    const auto part = tree.get_child_optional(wptree::path_type(kConnectionsSubtree, L'.'));
    if (!part) {
        return kept;
    }
    for (const auto& [key, entry] : *part) {
        bool listed = false;
        if (key == L"connection") {
            if (const auto id = entry.get_optional<std::wstring>(L"id")) {
                const auto first = id->find_first_not_of(L" \t\r\n");
                try {
                    boost::uuids::string_generator()(
                        first == std::wstring::npos
                            ? std::wstring()
                            : id->substr(first, id->find_last_not_of(L" \t\r\n") - first + 1));
                    listed = true;
                } catch (const std::runtime_error&) {
                }
            }
        }
        if (!listed) {
            kept.emplace_back(key, entry);
        }
    }
    return kept;
}

void Report(const std::vector<arkon_cm::Connection>& written, const std::vector<arkon_cm::Connection>& read) {
    for (const auto& c : written) {
        std::fprintf(stderr, "written: [%s] [%s] [%s]\n", Printable(c.name).c_str(),
                     Printable(c.server).c_str(), Printable(c.database).c_str());
    }
    for (const auto& c : read) {
        std::fprintf(stderr, "read:    [%s] [%s] [%s]\n", Printable(c.name).c_str(),
                     Printable(c.server).c_str(), Printable(c.database).c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = Bytes(data, size);
    const std::size_t end = input.find('\0');
    WriteFile(input.substr(0, end));

    std::vector<arkon_cm::Connection> connections;
    std::optional<wptree> before;
    try {
        connections = ReadConnections();
        before = arkon_cfg::ReadConfigFile(FilePath());
    } catch (const exceptions::Error&) {
        return 0; // a damaged file: reported to the user, nothing to write back
    }

    if (end != std::string_view::npos) {
        std::string_view extra = input.substr(end + 1);
        std::wstring fields[3];
        for (std::wstring& field : fields) {
            const std::size_t next = extra.find('\0');
            field = WideFromUtf8Lossy(extra.substr(0, next));
            extra = next == std::string_view::npos ? std::string_view() : extra.substr(next + 1);
        }
        arkon_cm::Connection added;
        added.id = boost::uuids::string_generator()(std::wstring(L"0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9"));
        added.name = fields[0];
        added.server = fields[1];
        added.database = fields[2];
        connections.push_back(added);
    }

    try {
        const arkon_cfg::Config config(FilePath());
        arkon_cm::ConnectionsModel model;
        model.Init(config.GetConfigSubtree(kConnectionsSubtree));
        model.UpdateConnections(connections);
    } catch (const exceptions::Error& error) {
        std::fprintf(stderr, "%s\n", Utf8FromWideLossy(error.GetDescription()).c_str());
        FuzzCheck(false, "a file that was read can be written back");
    }

    std::vector<arkon_cm::Connection> reread;
    std::optional<wptree> after;
    try {
        reread = ReadConnections();
        after = arkon_cfg::ReadConfigFile(FilePath());
    } catch (const exceptions::Error& error) {
        std::fprintf(stderr, "%s\n", Utf8FromWideLossy(error.GetDescription()).c_str());
        FuzzCheck(false, "the file written back can be read");
    }
    if (reread != connections) {
        Report(connections, reread);
    }
    FuzzCheck(reread == connections, "the connections written read back equal");
    FuzzCheck(after.has_value(), "the file written back exists");
    if (before) {
        if (const auto rest = WithoutConnections(*before)) {
            FuzzCheck(WithoutConnections(*after) == rest, "the rest of the file stays as it was");
        }
        FuzzCheck(Unlisted(*before) == Unlisted(*after), "entries the list does not show stay as they were");
    }
    return 0;
}
