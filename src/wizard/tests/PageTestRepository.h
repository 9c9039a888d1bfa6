// A folder repository in a temporary folder and a connections file that names it, for the tests of the
// action and browser pages. The file lies where the program looks for it (the test main points the
// user folders at a temporary folder); it is read when a wizard is built.
#pragma once

#include "ConnectionsFile.h"
#include "WizardTestHelpers.h"
#include "repository/FindConnection.h"
#include "repository/widgets/ConnectionsManagerWidget.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

class PageTestRepository {
public:
    static constexpr unsigned char kGoodId = 1;
    static constexpr unsigned char kMissingId = 2;
    static constexpr unsigned char kInvalidId = 3;

    // The repository holds "Проекты/Мост/план.dxf", "Проекты/Мост/Опоры/", "Проекты/Тоннель/" and
    // "Архив/". Connections: "Сервер" on it, "Пропавший" on a folder that does not exist, and
    // "Без папки" with no server folder at all (not valid).
    PageTestRepository() {
        QDir root(m_folder.path());
        root.mkpath(QStringLiteral("Проекты/Мост/Опоры"));
        root.mkpath(QStringLiteral("Проекты/Тоннель"));
        root.mkpath(QStringLiteral("Архив"));
        QFile document(root.filePath(QStringLiteral("Проекты/Мост/план.dxf")));
        document.open(QIODevice::WriteOnly);
        document.write("0\nEOF\n");
        WriteConnectionsFile(ConnectionsFilePath().toStdString(),
                             {{TestId(kGoodId), "Сервер", m_folder.path().toStdString(), ""},
                              {TestId(kMissingId), "Пропавший", (m_folder.path() + "/нет").toStdString(), ""},
                              {TestId(kInvalidId), "Без папки", "", ""}});
    }

    ~PageTestRepository() { QFile::remove(ConnectionsFilePath()); }

    PageTestRepository(const PageTestRepository&) = delete;
    PageTestRepository& operator=(const PageTestRepository&) = delete;

    QString Path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

// Fills what the action page needs for any kind: the repository's good connection and every path.
inline void FillActionPage(TaskWizard& wizard) {
    wizard.findChild<arkon_cm::ConnectionsManagerWidget*>()->SelectConnection(
        TestId(PageTestRepository::kGoodId));
    Widget<QLineEdit>(wizard, "backupToolDestinationEdit")->setText(QStringLiteral("/tmp/копии"));
    Widget<QLineEdit>(wizard, "exportDstPathEdit")->setText(QStringLiteral("/tmp/экспорт"));
    Widget<QLineEdit>(wizard, "idsEdit")->setText(QStringLiteral("/data/rules.ids"));
    Widget<QLineEdit>(wizard, "ifcEdit")->setText(QStringLiteral("/data/model.ifc"));
}
