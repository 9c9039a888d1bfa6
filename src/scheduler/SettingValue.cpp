// Reading flags and time limits from the settings file, with a word on standard error for a value
// that cannot be used.
#include "SettingValue.h"

#include <QRegularExpression>
#include <QStringList>

#include <iostream>
#include <map>
#include <mutex>

namespace {

// The text as it stands in the file. A comma makes the file's reader split a value into a list.
QString StoredText(const QVariant& value) {
    if (value.userType() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

// What was said of each key, so that a value is said once, not at every run that reads it; a key whose
// value is put right is forgotten, so that a later mistake is said again.
class SaidValues {
public:
    void Say(const QString& key, const QString& text, const QString& what) {
        {
            const std::lock_guard lock(m_mutex);
            auto [said, first] = m_said.try_emplace(key, text);
            if (!first) {
                if (said->second == text) {
                    return;
                }
                said->second = text;
            }
        }
        std::cerr << QStringLiteral("The setting \"%1\" is \"%2\", %3.\n")
                         .arg(key, text, what)
                         .toLocal8Bit()
                         .constData();
    }

    void Forget(const QString& key) {
        const std::lock_guard lock(m_mutex);
        m_said.erase(key);
    }

private:
    std::mutex m_mutex;
    std::map<QString, QString> m_said;
};

SaidValues& Said() {
    static SaidValues said;
    return said;
}

} // namespace

std::optional<bool> ParseFlag(const QString& text) {
    const QString word = text.trimmed().toLower();
    for (const char* on : {"true", "yes", "on", "1"}) {
        if (word == QLatin1String(on)) {
            return true;
        }
    }
    for (const char* off : {"false", "no", "off", "0"}) {
        if (word == QLatin1String(off)) {
            return false;
        }
    }
    return std::nullopt;
}

bool FlagSetting(const QSettings& store, const QString& key, bool fallback) {
    const QVariant stored = store.value(key);
    if (!stored.isValid()) {
        Said().Forget(key);
        return fallback;
    }
    const QString text = StoredText(stored);
    if (const std::optional<bool> flag = ParseFlag(text)) {
        Said().Forget(key);
        return *flag;
    }
    Said().Say(key, text,
               QStringLiteral("none of true/false, yes/no, on/off, 1/0: it stays %1")
                   .arg(fallback ? QStringLiteral("on") : QStringLiteral("off")));
    return fallback;
}

std::chrono::seconds TimeLimitSetting(const QSettings& store, const QString& key,
                                      std::chrono::seconds fallback) {
    const QVariant stored = store.value(key);
    if (!stored.isValid()) {
        Said().Forget(key);
        return fallback;
    }
    const QString text = StoredText(stored);
    const QString number = text.trimmed();
    // Digits alone: a count too long for any integer type is still a (huge) limit, not a typing error.
    static const QRegularExpression digits(QStringLiteral("^\\+?[0-9]+$"));
    if (!digits.match(number).hasMatch()) {
        Said().Say(key, text,
                   QStringLiteral("not a whole number of seconds of 0 or more: the limit stays %1 s")
                       .arg(fallback.count()));
        return fallback;
    }
    bool fits = false;
    const qulonglong seconds = number.toULongLong(&fits);
    if (fits && seconds <= static_cast<qulonglong>(kLongestTimeLimit.count())) {
        Said().Forget(key);
        return std::chrono::seconds(seconds);
    }
    Said().Say(
        key, text,
        QStringLiteral("more than 30 days: the limit is %1 s (30 days)").arg(kLongestTimeLimit.count()));
    return kLongestTimeLimit;
}
