// Who is at the other end of a local socket: this user, another user (when the test may become one), and
// descriptors that are no connected socket.
#include "platform/PeerUser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A socket in the abstract namespace: no file whose rights would keep another user out.
sockaddr_un AbstractAddress() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "zelkor-peer-user-test-" + std::to_string(getpid());
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    return address;
}

} // namespace

TEST(PeerUserTest, TheSameUserIsKnown) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    EXPECT_TRUE(IsPeerOfThisUser(pair[0]));
    close(pair[0]);
    close(pair[1]);

    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    EXPECT_FALSE(IsPeerOfThisUser(pipeEnds[0]));
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_FALSE(IsPeerOfThisUser(-1));
}

TEST(PeerUserTest, AnotherUserIsNot) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can connect as another user";
    }
    const sockaddr_un address = AbstractAddress();
    const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 1), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Nobody connects and waits until the test has looked.
        const int client = socket(AF_UNIX, SOCK_STREAM, 0);
        char byte = 0;
        const bool ok = setgid(65534) == 0 && setuid(65534) == 0 &&
                        connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                        read(client, &byte, 1) >= 0;
        _exit(ok ? 0 : 1);
    }
    const int accepted = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(accepted, 0);
    EXPECT_FALSE(IsPeerOfThisUser(accepted));
    close(accepted);
    close(server);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
