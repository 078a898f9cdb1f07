// Pins the TZ time zone for a test and restores the previous one afterwards.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class TzGuard {
public:
    explicit TzGuard(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_previous = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TzGuard()
    {
        if (m_previous)
            setenv("TZ", m_previous->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TzGuard(const TzGuard&) = delete;
    TzGuard& operator=(const TzGuard&) = delete;

private:
    std::optional<std::string> m_previous;
};
