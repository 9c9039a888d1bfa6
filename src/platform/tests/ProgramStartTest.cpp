// Started programs: reaped the moment they end, whether or not the context is being run, with or without
// pidfds, and in a session of their own.
#include "platform/ProgramStart.h"
#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

// Whether the process is gone entirely: not running and not left as a zombie; waits up to 10 s for it.
bool Reaped(int pid) {
    for (int i = 0; i < 1000; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        if (!stat) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(ProgramStartTest, EndIsReapedAtOnceAndToldThroughTheContextWithOrWithoutPidfds) {
    QTemporaryDir folder;
    const std::string noted = folder.filePath(QStringLiteral("session")).toStdString();
    for (const bool descriptors : {true, false}) {
        SCOPED_TRACE(descriptors);
        UseProcessDescriptors(descriptors);
        boost::asio::io_context context; // not run while the program ends: a busy worker
        std::optional<ProgramEnd> end;
        const auto failure =
            StartProgram({"/bin/sh", "-c", "cut -d' ' -f1,6 /proc/$$/stat > \"$0\"; exit 4", noted}, "",
                         context, [&end](ProgramEnd e) { end = e; });
        ASSERT_FALSE(failure);
        std::string pid;
        std::string session;
        for (int i = 0; i < 1000 && session.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::ifstream(noted) >> pid >> session;
        }
        ASSERT_FALSE(session.empty());
        EXPECT_EQ(session, pid) << "leads a session of its own";
        EXPECT_NE(std::stoi(session), ::getsid(0));
        EXPECT_TRUE(Reaped(std::stoi(pid)));
        EXPECT_FALSE(end);
        context.run_for(std::chrono::seconds(10)); // returns once the end has been handed over
        ASSERT_TRUE(end);
        EXPECT_FALSE(end->bySignal);
        EXPECT_EQ(end->number, 4);
        std::remove(noted.c_str());
    }
    UseProcessDescriptors(true);
}

TEST(ProgramStartTest, AnEndAfterItsContextIsGoneIsDropped) {
    QTemporaryDir folder;
    const std::string noted = folder.filePath(QStringLiteral("pid")).toStdString();
    bool told = false;
    {
        boost::asio::io_context context;
        ASSERT_FALSE(StartProgram({"/bin/sh", "-c", "echo $$ > \"$0\"; sleep 0.2", noted}, "", context,
                                  [&told](ProgramEnd) { told = true; }));
    }
    std::string pid;
    for (int i = 0; i < 1000 && pid.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream(noted) >> pid;
    }
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(Reaped(std::stoi(pid))); // the end has come, and with it the moment it could be told
    EXPECT_FALSE(told);
}
