// What became of a request to run a task now.
#pragma once

enum class RunNowAnswer {
    Queued,         // it runs as soon as it can
    AlreadyRunning, // a run of it is under way (or waits for the tool's lane): not asked for again
    AlreadyQueued,  // a run now asked for earlier has not started yet
    NotStored,
};
