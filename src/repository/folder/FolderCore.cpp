// Opening folder-tree sessions: checks the root once, so that an unreachable repository is reported
// with its folder before anything is read from it.
#include "FolderCore.h"

#include "FolderSession.h"
#include "FolderText.h"
#include "repository/Utf8.h"

#include <filesystem>

namespace arkon::folder {
namespace {

namespace fs = std::filesystem;

std::string Encoded(const std::wstring& text, const std::wstring& shown) {
    auto bytes = Utf8FromWide(text);
    if (!bytes || bytes->find('\0') != std::string::npos) {
        throw MakeError("Неверно задан путь к хранилищу «%1».", shown);
    }
    return std::move(*bytes);
}

} // namespace

std::shared_ptr<ISession> FolderCore::OpenSession(const std::wstring& server, const std::wstring& database) {
    const std::wstring shown = database.empty() ? server : server + L"/" + database;
    if (server.empty()) {
        throw MakeError("Не задан путь к папке хранилища.", {});
    }
    const fs::path server_path = Encoded(server, shown);
    const fs::path database_path = Encoded(database, shown);
    if (!server_path.is_absolute()) {
        throw MakeError("Путь к хранилищу «%1» должен быть абсолютным.", shown);
    }
    // The database names a folder below the server; it may not climb out of it or replace it.
    if (database_path.is_absolute()) {
        throw MakeError("Неверно задан путь к хранилищу «%1».", shown);
    }
    for (const fs::path& part : database_path) {
        if (part == "..") {
            throw MakeError("Неверно задан путь к хранилищу «%1».", shown);
        }
    }
    fs::path joined = server_path;
    if (!database_path.empty()) {
        joined /= database_path;
    }
    joined = joined.lexically_normal();
    if (!joined.has_filename() && joined.has_relative_path()) {
        joined = joined.parent_path(); // no trailing "/": the root is named as the user wrote it
    }

    std::error_code error;
    const fs::file_status status = fs::status(joined, error);
    if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory) {
        throw MakeError("Не удалось открыть папку хранилища «%1»: %2", ShownPath(joined.native()),
                        ShownReason(error));
    }
    if (!fs::exists(status)) {
        throw MakeError("Папка хранилища «%1» не найдена.", ShownPath(joined.native()));
    }
    if (!fs::is_directory(status)) {
        throw MakeError("«%1» не является папкой.", ShownPath(joined.native()));
    }
    // Everything below the root is read without following links; the root itself is taken as the
    // folder it leads to now, so that a repository kept behind a link (a mount point moved aside) works.
    fs::path root = fs::canonical(joined, error);
    if (error) {
        throw MakeError("Не удалось открыть папку хранилища «%1»: %2", ShownPath(joined.native()),
                        ShownReason(error));
    }
    fs::directory_iterator probe(root, error);
    if (error) {
        throw MakeError("Не удалось открыть папку хранилища «%1»: %2", ShownPath(joined.native()),
                        ShownReason(error));
    }
    return std::make_shared<FolderSession>(root.native());
}

} // namespace arkon::folder
