// Owning handles, closed when they go: a kernel object (process, mutex, event) and a registry key.
#pragma once

#include "framework/Win32.h"

class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_h(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_h(other.m_h) { other.m_h = nullptr; }
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_h = other.m_h;
            other.m_h = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset() {
        if (m_h) ::CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

// An open registry key.
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() {
        if (m_key) ::RegCloseKey(m_key);
    }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    // For the opening call to fill; the key must not be open yet.
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};
