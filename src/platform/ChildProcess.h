// Starting a program whose end the caller waits for, with its output streams where the caller wants
// them. The scheduler starts such a program for every export and check, so the start is kept as cheap
// as the system allows.
#pragma once

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

class ChildPipe;

// Where the child's standard output and standard error go: a pipe's write end, or the null device
// when no pipe is given. Standard input always comes from the null device: a closed descriptor 0
// would be handed to the first file the program opens.
struct ChildStreams {
    ChildPipe* standardOutput = nullptr;
    ChildPipe* standardError = nullptr;
};

class ChildProcess {
public:
    // Starts arguments[0] with the rest as its arguments, in the current folder, with this process's
    // environment, as the leader of a process group of its own. The program is not looked for on the search
    // path: a relative name is relative to the current folder. A start that fails (no such file, not
    // executable, no arguments at all) sets the error and gives an object with no process; no process is left
    // behind by it. The write ends of the given pipes are closed here once the child holds them, so that the
    // pipe reports its end when the child (and whatever it started) has closed them. With `lowPriority` the
    // program (and whatever it starts) gets the processor and the disk only when nothing else wants them.
    static ChildProcess Start(const std::vector<std::string>& arguments, const ChildStreams& streams,
                              std::error_code& error, bool lowPriority = false);

    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child that was started and not waited for is killed and reaped: nothing may outlive the run
    // that started it, not even as a zombie.
    ~ChildProcess();

    // Whether the process is still running; the first call that finds it ended takes its exit status.
    bool Running();
    // Waits for the end and gives the exit code. A program ended by a signal gives 128 plus the
    // signal's number, as a shell reports it, so that it never reads as success.
    int Wait(std::error_code& error);

    // Waits up to `timeout` for the end; true when the process has ended (its exit status is then
    // taken). Sleeps until the end or the timeout; without a descriptor for the process (see
    // UseProcessDescriptors) it looks every few milliseconds.
    bool WaitFor(std::chrono::milliseconds timeout);

    // A descriptor that becomes readable once the process has ended, for a poll beside other
    // descriptors; -1 when the system has none (the caller then asks Running() now and then).
    int EndDescriptor() const { return m_endDescriptor; }

    // Asks the process, and the processes it started in its group, to end (SIGTERM on Linux).
    void RequestEnd();
    // Ends the process and its group at once (SIGKILL). Neither does anything once the end is taken.
    void ForceEnd();

    // The process's id, or -1 for a start that failed.
    int Pid() const { return m_pid; }

private:
    explicit ChildProcess(int pid);
    void Release();
    // Takes what waitpid gave (its result, and errno when that is -1) as the process's end.
    void RecordEnd(int waitResult, int status);

    int m_pid = -1;
    int m_endDescriptor = -1;
    bool m_ended = false;
    int m_exitCode = -1;
    int m_waitError = 0; // errno of a wait that found no such child
};

// Whether waits for a child's end (here and for started programs) use the system's process descriptors;
// on by default. Off, they fall back to what works on any kernel: for tests of that fallback.
void UseProcessDescriptors(bool use);

// Ends every child started through ChildProcess and not yet reaped, with the processes of its group
// (SIGKILL): for a program that must end at once without its clean exit, which would have ended them.
void ForceEndAllChildren();
