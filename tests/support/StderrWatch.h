// Sends the process's standard error to a file while it lives, so that a test can wait for a line to
// be said there (a capture of the test framework can be read only once it ends).
#pragma once

#include <QFile>
#include <QTemporaryFile>

#include <unistd.h>

#include <cstdio>

class StderrWatch {
public:
    StderrWatch() {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrWatch() {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    StderrWatch(const StderrWatch&) = delete;
    StderrWatch& operator=(const StderrWatch&) = delete;

    // Everything said so far.
    std::string Text() const {
        std::fflush(stderr);
        QFile read(m_file.fileName());
        return read.open(QIODevice::ReadOnly) ? read.readAll().toStdString() : std::string();
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};
