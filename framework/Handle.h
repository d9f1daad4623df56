// An owning kernel object handle (process, mutex, event): closed when it goes.
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
