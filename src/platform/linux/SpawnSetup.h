// What a posix_spawn start is given, shared by the program starts of this folder.
#pragma once

#include <signal.h>
#include <spawn.h>

#include <string>
#include <vector>

// The arguments as posix_spawn takes them, ending in a null pointer; they must outlive the start.
inline std::vector<char*> ArgumentVector(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// The file actions and attributes of one start.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        posix_spawnattr_destroy(&m_attributes);
        posix_spawn_file_actions_destroy(&m_actions);
    }

    enum class Detach { None, OwnGroup, OwnSession };

    // The program starts with no signal blocked and SIGPIPE at its default, whatever threads of the
    // scheduler did to their own. In a group of its own, ending it reaches whatever it started too; in a
    // session of its own, the signals of the scheduler's terminal (Ctrl+C, a hang-up) do not reach it.
    int ResetSignals(Detach detach) {
        sigset_t none;
        sigemptyset(&none);
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        if (const int result = posix_spawnattr_setsigmask(&m_attributes, &none); result != 0) {
            return result;
        }
        if (const int result = posix_spawnattr_setsigdefault(&m_attributes, &pipeOnly); result != 0) {
            return result;
        }
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (detach == Detach::OwnGroup) {
            flags |= POSIX_SPAWN_SETPGROUP;
            if (const int result = posix_spawnattr_setpgroup(&m_attributes, 0); result != 0) {
                return result;
            }
        } else if (detach == Detach::OwnSession) {
            flags |= POSIX_SPAWN_SETSID;
        }
        return posix_spawnattr_setflags(&m_attributes, flags);
    }

    posix_spawn_file_actions_t* Actions() { return &m_actions; }
    const posix_spawnattr_t* Attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
};
