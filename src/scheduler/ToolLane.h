// The suite's tool's lane: exports and checks run there one at a time, in the order asked for, so that
// the worker's timers, copies and commands never wait for the tool. What a run says comes back to the
// worker, which alone writes the task logs, as notes taken in order.
#pragma once

#include "JournalRecords.h"
#include "SlotAttempts.h"
#include "execution/RunResult.h"
#include "model/TaskInfo.h"

#include <QString>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

struct LaneNote {
    enum class Kind { Line, Started, Ended };
    Kind kind = Kind::Line;
    const TaskInfo* record = nullptr;
    std::uint64_t id = 0; // the stored task's identity: an address can be reused by a later task
    TimePoint time;
    QString message;                         // a line of the run
    bool timed = false;                      // ended: a timed run, whose finish line follows
    std::shared_ptr<const RunResult> result; // ended
    RunStart how = RunStart::Timed;          // started
    std::optional<TimePoint> slot;           // started
    std::optional<SlotAttempt> attempt;      // ended: the slot a timed run served
};

class ToolLane {
public:
    // `deliver` asks the worker to Take the notes; called once for each batch the worker has not taken.
    // Once `closing` is asked, a run no longer waits for the worker to make room. The thread starts at
    // once.
    ToolLane(std::function<void()> deliver, std::stop_token closing);
    ~ToolLane();

    ToolLane(const ToolLane&) = delete;
    ToolLane& operator=(const ToolLane&) = delete;

    // Runs `run` on the lane after every run queued before it.
    void Queue(std::function<void()> run);
    // From a run on the lane. A tool can write lines faster than the worker puts them in the log: the run
    // waits for room rather than the notes taking the memory.
    void Push(LaneNote note);
    // The notes pushed so far, in order; makes room for more.
    std::vector<LaneNote> Take();
    // Runs still queued never start; waits for the one running (which `closing` should end soon).
    void Stop();

private:
    const std::function<void()> m_deliver;
    const std::stop_token m_closing;
    boost::asio::io_context m_context;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_guard;
    std::mutex m_mutex;
    std::vector<LaneNote> m_notes;
    std::size_t m_noteBytes = 0;        // of the messages in m_notes
    std::condition_variable_any m_room; // told when the worker has taken the notes
    std::jthread m_thread;              // last: started when everything above exists
};
