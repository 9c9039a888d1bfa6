// The choice of Qt's offscreen platform: only when no display is named and nothing was chosen.
#include "platform/HeadlessPlatform.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace {

// Sets the three variables for one case and puts the previous values back afterwards.
class DisplayEnvironment {
public:
    DisplayEnvironment(const char* platform, const char* display, const char* wayland) {
        for (const char* name : kNames) {
            m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
        }
        Set("QT_QPA_PLATFORM", platform);
        Set("DISPLAY", display);
        Set("WAYLAND_DISPLAY", wayland);
    }
    ~DisplayEnvironment() {
        for (const auto& [name, value] : m_saved) {
            Set(name, value ? value->constData() : nullptr);
        }
    }
    DisplayEnvironment(const DisplayEnvironment&) = delete;
    DisplayEnvironment& operator=(const DisplayEnvironment&) = delete;

private:
    static constexpr const char* kNames[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};

    static void Set(const char* name, const char* value) {
        if (value == nullptr) {
            qunsetenv(name);
        } else {
            qputenv(name, QByteArray(value));
        }
    }

    std::map<const char*, std::optional<QByteArray>> m_saved;
};

} // namespace

TEST(HeadlessPlatformTest, OffscreenWithoutAnyDisplay) {
    DisplayEnvironment environment(nullptr, nullptr, nullptr);
    EXPECT_TRUE(UseOffscreenPlatformWithoutDisplay());
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));
}

TEST(HeadlessPlatformTest, EmptyVariablesCountAsUnset) {
    DisplayEnvironment environment("", "", "");
    EXPECT_TRUE(UseOffscreenPlatformWithoutDisplay());
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));
}

TEST(HeadlessPlatformTest, ADisplayOrAChosenPlatformIsKept) {
    {
        DisplayEnvironment environment(nullptr, ":0", nullptr);
        EXPECT_FALSE(UseOffscreenPlatformWithoutDisplay());
        EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    }
    {
        DisplayEnvironment environment(nullptr, nullptr, "wayland-0");
        EXPECT_FALSE(UseOffscreenPlatformWithoutDisplay());
        EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    }
    {
        DisplayEnvironment environment("xcb", nullptr, nullptr);
        EXPECT_FALSE(UseOffscreenPlatformWithoutDisplay());
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("xcb"));
    }
}
