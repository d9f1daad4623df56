// A growable array of strings, the string list type the program's classes share.
#pragma once

#include <string>
#include <vector>

class CStringArray {
public:
    CStringArray() = default;
    virtual ~CStringArray() = default;

    int GetSize() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    // Out-of-range reads give an empty string instead of undefined behaviour.
    std::wstring GetAt(int index) const {
        return index >= 0 && index < GetSize() ? m_items[static_cast<size_t>(index)] : std::wstring();
    }
    std::wstring operator[](int index) const { return GetAt(index); }
    int Add(std::wstring text) {
        m_items.push_back(std::move(text));
        return GetSize() - 1;
    }
    void RemoveAll() { m_items.clear(); }
    const std::vector<std::wstring>& Items() const { return m_items; }
    std::vector<std::wstring>& Items() { return m_items; }

private:
    std::vector<std::wstring> m_items;
};
