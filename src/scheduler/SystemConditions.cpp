// The run conditions on this computer: its file systems and, through UPower, its power source.
#include "ConditionWatch.h"

#include "repository/FindConnection.h"

#include <QDir>
#include <QFileInfo>

namespace {

class LocalConditions final : public ConditionWatch {
public:
    LocalConditions(QString connectionsFile, std::function<void()> changed)
        : m_connectionsFile(std::move(connectionsFile)), m_changed(std::move(changed)) {
        m_probe.exists = [](const std::wstring& path) {
            return QFileInfo::exists(QString::fromStdWString(path));
        };
        m_probe.onBattery = [] { return false; };
        m_probe.repositoryFolder = [this](const boost::uuids::uuid& id) -> std::optional<std::wstring> {
            const auto connection = FindConnection(id, m_connectionsFile);
            if (!connection || !QDir::isAbsolutePath(QString::fromStdWString(connection->server))) {
                return std::nullopt;
            }
            return QDir(QString::fromStdWString(connection->server))
                .filePath(QString::fromStdWString(connection->database))
                .toStdWString();
        };
    }

    const ConditionProbe& Probe() const override { return m_probe; }
    void Follow(const std::vector<std::wstring>&, bool) override {}

private:
    const QString m_connectionsFile;
    const std::function<void()> m_changed;
    ConditionProbe m_probe;
};

} // namespace

ConditionWatchMaker SystemConditions(const QString& connectionsFile) {
    return [connectionsFile](std::function<void()> changed) -> std::unique_ptr<ConditionWatch> {
        return std::make_unique<LocalConditions>(connectionsFile, std::move(changed));
    };
}
