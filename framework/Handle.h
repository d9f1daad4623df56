// Owning handles, closed when they go: a kernel object (process, mutex, event), a registry key and
// the like.
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

// A handle of any other kind, given back with `Free` when it goes: a registry key, a certificate
// context, a crypto message.
template <typename T, auto Free>
class COwned {
public:
    COwned() = default;
    explicit COwned(T value) : m_value(value) {}
    ~COwned() {
        if (m_value) Free(m_value);
    }
    COwned(const COwned&) = delete;
    COwned& operator=(const COwned&) = delete;
    // For the opening call to fill; nothing must be held yet.
    T* Out() { return &m_value; }
    T Get() const { return m_value; }

private:
    T m_value = nullptr;
};

using CRegKey = COwned<HKEY, ::RegCloseKey>;
