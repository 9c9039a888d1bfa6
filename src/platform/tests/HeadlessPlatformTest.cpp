// The choice of Qt's offscreen platform: only when no display is named and nothing was chosen.
#include "platform/HeadlessPlatform.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace {

void Set(const char* name, const char* value) {
    if (value == nullptr) {
        qunsetenv(name);
    } else {
        qputenv(name, QByteArray(value));
    }
}

} // namespace

TEST(HeadlessPlatformTest, OffscreenOnlyWithoutDisplayOrChosenPlatform) {
    struct Case {
        const char* platform;
        const char* display;
        const char* wayland;
        bool offscreen;
        const char* platformAfter;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, true, "offscreen"}, {"", "", "", true, "offscreen"},
        {nullptr, ":0", nullptr, false, nullptr},       {nullptr, nullptr, "wayland-0", false, nullptr},
        {"xcb", nullptr, nullptr, false, "xcb"},
    };
    const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")};
    for (const Case& c : cases) {
        Set("QT_QPA_PLATFORM", c.platform);
        Set("DISPLAY", c.display);
        Set("WAYLAND_DISPLAY", c.wayland);
        EXPECT_EQ(UseOffscreenPlatformWithoutDisplay(), c.offscreen) << c.display << ' ' << c.wayland;
        if (c.platformAfter == nullptr) {
            EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
        } else {
            EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray(c.platformAfter));
        }
    }
    Set("QT_QPA_PLATFORM", saved[0].isNull() ? nullptr : saved[0].constData());
    Set("DISPLAY", saved[1].isNull() ? nullptr : saved[1].constData());
    Set("WAYLAND_DISPLAY", saved[2].isNull() ? nullptr : saved[2].constData());
}
