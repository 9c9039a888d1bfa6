#include "ToolLane.h"

#include "RunLoop.h"

#include <boost/asio/post.hpp>

namespace {

constexpr std::size_t kMaxNoteBytes = std::size_t{4} << 20;

} // namespace

ToolLane::ToolLane(std::function<void()> deliver, std::stop_token closing)
    : m_deliver(std::move(deliver)), m_closing(std::move(closing)),
      m_guard(boost::asio::make_work_guard(m_context)), m_thread([this] { RunHandlers(m_context); }) {}

ToolLane::~ToolLane() {
    Stop();
}

void ToolLane::Queue(std::function<void()> run) {
    boost::asio::post(m_context, std::move(run));
}

void ToolLane::Push(LaneNote note) {
    bool first = false;
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, m_closing, [this] { return m_noteBytes < kMaxNoteBytes; });
        first = m_notes.empty();
        m_noteBytes += static_cast<std::size_t>(note.message.size()) * sizeof(QChar);
        m_notes.push_back(std::move(note));
    }
    if (first) {
        m_deliver();
    }
}

std::vector<LaneNote> ToolLane::Take() {
    std::vector<LaneNote> notes;
    {
        std::lock_guard lock(m_mutex);
        notes.swap(m_notes);
        m_noteBytes = 0;
    }
    m_room.notify_all();
    return notes;
}

void ToolLane::Stop() {
    m_context.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
