#pragma once

#include <QByteArray>
#include <QList>

#include <cstdlib>
#include <optional>
#include <utility>

// Sets environment variables for the life of the object and puts back what
// was there (or nothing) afterwards: the XDG places of a test's own home.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second) {
                qputenv(it->first.constData(), *it->second);
            } else {
                qunsetenv(it->first.constData());
            }
        }
    }

    void set(const char* name, const QByteArray& value) {
        save(name);
        qputenv(name, value);
    }
    void unset(const char* name) {
        save(name);
        qunsetenv(name);
    }

private:
    void save(const char* name) {
        std::optional<QByteArray> old;
        if (qEnvironmentVariableIsSet(name)) {
            old = qgetenv(name);
        }
        m_saved.append({QByteArray(name), old});
    }

    QList<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};
