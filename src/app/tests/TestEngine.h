// An engine over a temporary storage file whose runs are only recorded, for the application's tests.
#pragma once

#include "app/EngineTaskSource.h"
#include "model/StorageFile.h"
#include "scheduler/TaskStorage.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TestEngine {
public:
    // The engine loads `storageContent` as its storage file, when there is one.
    explicit TestEngine(const QByteArray& storageContent = {}) {
        if (!storageContent.isEmpty()) {
            QFile file(m_dir.filePath(QStringLiteral("storage.xml")));
            if (file.open(QIODevice::WriteOnly)) {
                file.write(storageContent);
            }
        }
        storage = std::make_unique<TaskStorage>(TaskStorage::Settings{
            m_dir.filePath(QStringLiteral("storage.xml")), m_dir.filePath(QStringLiteral("logs")),
            [this](const TaskInfo*, TaskInfo& task, TaskLog*, RunResult&, const std::function<void()>&) {
                std::lock_guard lock(m_mutex);
                m_runs.push_back(task.name);
            }});
    }

    // An engine's settings over "storage.xml" in `folder`, with a runner that does nothing; `standby`: it
    // waits while another engine owns the tasks, and shows them read-only.
    static TaskStorage::Settings IdleSettings(const QTemporaryDir& folder, bool standby) {
        TaskStorage::Settings settings{
            folder.filePath(QStringLiteral("storage.xml")), folder.filePath(QStringLiteral("logs")),
            [](const TaskInfo*, TaskInfo&, TaskLog*, RunResult&, const std::function<void()>&) {}};
        settings.standby = standby;
        return settings;
    }

    // A task whose first timed run is a day away, so that only RunNow runs it during a test.
    static TaskInfo Task(const std::wstring& name) {
        TaskInfo task;
        task.name = name;
        task.starting_point = CurrentTime() + std::chrono::hours(24);
        task.action = CommandAction{L"/bin/true", L"", L""};
        return task;
    }

    std::vector<std::wstring> Runs() const {
        std::lock_guard lock(m_mutex);
        return m_runs;
    }

    // The storage file once the engine's saves have caught up.
    QString StorageText() const {
        const QString path = m_dir.filePath(QStringLiteral("storage.xml"));
        std::vector<TaskInfo> stored;
        for (const auto& task : storage->Tasks()) {
            stored.push_back(storage->Copy(task.get()));
        }
        const std::wstring expected = TasksToXml(TaskPointers(stored));
        QDeadlineTimer deadline(10000);
        while (TasksToXml(TaskPointers(LoadStorageFile(path))) != expected && !deadline.hasExpired()) {
            QThread::msleep(2);
        }
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The window's source over the engine, made on first use.
    TaskSource& Source() {
        if (!m_source) {
            m_source = MakeTaskSource(*storage);
        }
        return *m_source;
    }

    std::vector<std::wstring> TaskNames() const {
        std::vector<std::wstring> names;
        for (const auto& task : storage->Tasks()) {
            names.push_back(task->name);
        }
        return names;
    }

private:
    QTemporaryDir m_dir;
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_runs;

public:
    std::unique_ptr<TaskStorage> storage; // its worker goes before the rest

private:
    std::unique_ptr<TaskSource> m_source; // before the engine it reads
};
