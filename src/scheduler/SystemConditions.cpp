// The run conditions on this computer: its file systems and, through UPower, its power source.
#include "ConditionWatch.h"

#include "platform/FolderWatch.h"
#include "platform/PowerWatch.h"
#include "repository/FindConnection.h"

#include <QDir>
#include <QFileInfo>

namespace {

class LocalConditions final : public ConditionWatch {
public:
    LocalConditions(QString connectionsFile, std::function<void()> changed)
        : m_connectionsFile(std::move(connectionsFile)), m_changed(std::move(changed)), m_folders(m_changed) {
        m_probe.exists = [](const std::wstring& path) {
            return QFileInfo::exists(QString::fromStdWString(path));
        };
        m_probe.onBattery = [this] { return Power().OnBattery(); };
        m_probe.repositoryFolder = [this](const boost::uuids::uuid& id) -> std::optional<std::wstring> {
            const auto connection = FindConnection(id, m_connectionsFile);
            if (!connection || !QDir::isAbsolutePath(QString::fromStdWString(connection->server))) {
                return std::nullopt; // not a folder of this computer
            }
            return QDir::cleanPath(QString::fromStdWString(connection->server) + QLatin1Char('/') +
                                   QString::fromStdWString(connection->database))
                .toStdWString();
        };
    }

    const ConditionProbe& Probe() const override { return m_probe; }

    void Follow(const std::vector<std::wstring>& paths, bool power) override {
        std::vector<std::string> utf8;
        utf8.reserve(paths.size());
        for (const std::wstring& path : paths) {
            utf8.push_back(QString::fromStdWString(path).toUtf8().toStdString());
        }
        m_folders.Watch(utf8);
        if (power) {
            Power();
        }
    }

private:
    // Made on first need: most lists have no task that asks for mains power, and the watch keeps a
    // connection to the system bus. The worker's thread only.
    PowerWatch& Power() {
        if (!m_power) {
            m_power = std::make_unique<PowerWatch>(m_changed);
        }
        return *m_power;
    }

    const QString m_connectionsFile;
    const std::function<void()> m_changed;
    ConditionProbe m_probe;
    FolderWatch m_folders;
    std::unique_ptr<PowerWatch> m_power;
};

} // namespace

ConditionWatchMaker SystemConditions(const QString& connectionsFile) {
    return [connectionsFile](std::function<void()> changed) -> std::unique_ptr<ConditionWatch> {
        return std::make_unique<LocalConditions>(connectionsFile, std::move(changed));
    };
}
