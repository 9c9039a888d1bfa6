// The help pages as the build lays them out beside the program: each page is well-formed, every link
// between pages and to the style sheet leads to a file (and an anchor) that is there, every page can
// be reached from the start page, no written page is left out, and the pages windows name for F1 are there;
// the examples of files written by hand are read by the program as the page says.
#include "model/StorageFile.h"
#include "repository/FindConnection.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Page {
    QStringList links; // href and src values as written
    QSet<QString> anchors;
};

} // namespace

class HelpPagesTest : public QObject {
    Q_OBJECT

private slots:
    void pagesAreWellFormedAndLinked() {
        const QDir help(QStringLiteral(ZELKOR_SCHEDULER_DIR "/Help"));
        const QStringList kinds{QStringLiteral("*.html"), QStringLiteral("*.css")};
        const QStringList written =
            QDir(QStringLiteral(ZELKOR_HELP_SOURCE_DIR)).entryList(kinds, QDir::Files);
        QCOMPARE(help.entryList(kinds, QDir::Files), written);
        QVERIFY(written.contains(QStringLiteral("index.html")));
        QVERIFY(written.contains(QStringLiteral("style.css")));

        QMap<QString, Page> pages;
        for (const QString& name : help.entryList({QStringLiteral("*.html")}, QDir::Files)) {
            QFile file(help.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(&file);
            Page& page = pages[name];
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement) {
                    continue;
                }
                for (const char* attribute : {"href", "src"}) {
                    if (xml.attributes().hasAttribute(QLatin1String(attribute))) {
                        page.links << xml.attributes().value(QLatin1String(attribute)).toString();
                    }
                }
                if (xml.attributes().hasAttribute(QLatin1String("id"))) {
                    page.anchors << xml.attributes().value(QLatin1String("id")).toString();
                }
            }
            QVERIFY2(!xml.hasError(),
                     qPrintable(
                         QStringLiteral("%1:%2: %3").arg(name).arg(xml.lineNumber()).arg(xml.errorString())));
            QVERIFY2(page.links.contains(QStringLiteral("style.css")), qPrintable(name));
        }

        // Links stay inside the folder: the pages are read from disk, where nothing else is installed.
        QSet<QString> reached{QStringLiteral("index.html")};
        QStringList toVisit{QStringLiteral("index.html")};
        while (!toVisit.isEmpty()) {
            const QString name = toVisit.takeFirst();
            for (const QString& link : pages[name].links) {
                const QUrl url(link);
                const QString target = url.path().isEmpty() ? name : url.path();
                const QString where = name + QStringLiteral(" → ") + link;
                QVERIFY2(url.isRelative() && !target.contains(u'/') && help.exists(target),
                         qPrintable(where));
                QVERIFY2(!url.hasFragment() || pages.value(target).anchors.contains(url.fragment()),
                         qPrintable(where));
                if (pages.contains(target) && !reached.contains(target)) {
                    reached << target;
                    toVisit << target;
                }
            }
        }
        QCOMPARE(reached.size(), pages.size());

        // The pages F1 opens: every "helpPage" a window or wizard page names in its .ui file is there,
        // anchor included.
        QDirIterator forms(QStringLiteral(ZELKOR_HELP_SOURCE_DIR "/../../src"), {QStringLiteral("*.ui")},
                           QDir::Files, QDirIterator::Subdirectories);
        int named = 0;
        while (forms.hasNext()) {
            QFile form(forms.next());
            QVERIFY(form.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(&form);
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement ||
                    xml.name() != QLatin1String("property") ||
                    xml.attributes().value(QLatin1String("name")) != QLatin1String("helpPage")) {
                    continue;
                }
                xml.readNextStartElement();
                const QUrl url(xml.readElementText());
                const QString where = form.fileName() + QStringLiteral(" → ") + url.toString();
                QVERIFY2(pages.contains(url.path()), qPrintable(where));
                QVERIFY2(!url.hasFragment() || pages[url.path()].anchors.contains(url.fragment()),
                         qPrintable(where));
                ++named;
            }
        }
        QVERIFY(named >= 7);
    }

    void handWrittenFileExamplesReadAsDescribed() {
        QFile page(QStringLiteral(ZELKOR_HELP_SOURCE_DIR "/files.html"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        QMap<QString, QString> examples;
        QXmlStreamReader xml(&page);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("pre")) {
                const QString id = xml.attributes().value(QLatin1String("id")).toString();
                examples[id] = xml.readElementText();
            }
        }
        QTemporaryDir folder;
        const auto written = [&folder](const QString& name, const QString& text) {
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) != text.toUtf8().size()) {
                qFatal("cannot write %s", qPrintable(file.fileName()));
            }
            return file.fileName();
        };

        const StorageContents storage = InspectStorageFile(
            written(QStringLiteral("storage.xml"), examples.value(QStringLiteral("storage-example"))));
        QVERIFY(!storage.damage);
        QCOMPARE(storage.tasks.size(), std::size_t{2});
        // "1 марта 2027 года, 06:00 UTC" and "2 марта 2027 года, 19:30 UTC", in 100-ns ticks since 1970.
        const auto ticks = [](int day, int hour, int minute) {
            return TimePointFromTicks(
                QDateTime(QDate(2027, 3, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch() *
                kTicksPerSecond);
        };
        const TaskInfo& backup = storage.tasks[0];
        QCOMPARE(backup.starting_point, ticks(1, 6, 0));
        QVERIFY(backup.run_only_on_working_days);
        QVERIFY(std::holds_alternative<DailyTrigger>(backup.trigger));
        QVERIFY(std::holds_alternative<BackupAction>(backup.action));
        const TaskInfo& command = storage.tasks[1];
        QCOMPARE(command.starting_point, ticks(2, 19, 30));
        QCOMPARE(std::get<WeeklyTrigger>(command.trigger), (WeeklyTrigger{2, {1, 5}})); // Monday, Friday
        QCOMPARE(std::get<CommandAction>(command.action).executable, std::wstring(L"/usr/bin/rsync"));

        // The backup's connection is the one of the connections example.
        const std::optional<arkon_cm::Connection> connection =
            FindConnection(std::get<BackupAction>(backup.action).connection_id,
                           written(QStringLiteral("connections.xml"),
                                   examples.value(QStringLiteral("connections-example"))));
        QVERIFY(connection.has_value());
        QCOMPARE(connection->name, std::wstring(L"Проекты"));
        QCOMPARE(connection->server, std::wstring(L"/srv/zelkor"));
        QCOMPARE(connection->database, std::wstring(L"projects"));
    }
};

QObject* MakeHelpPagesTest() {
    return new HelpPagesTest;
}

#include "HelpPagesTest.moc"
