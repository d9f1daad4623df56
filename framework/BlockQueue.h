// A bounded queue of byte blocks between one producing and one consuming thread. Blocks are copied
// in, and the consumer gives their buffers back, so a long transfer allocates only at its start.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

class CBlockQueue {
public:
    using Block = std::vector<unsigned char>;
    enum class Popped { Block, Closed, Empty };

    explicit CBlockQueue(size_t capacity) : m_capacity(capacity) {}
    CBlockQueue(const CBlockQueue&) = delete;
    CBlockQueue& operator=(const CBlockQueue&) = delete;

    // Waits while the queue is full; false once it is closed.
    bool WaitForRoom() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return WaitForRoom(lock);
    }

    // Queues a copy of the bytes, waiting while the queue is full; false (nothing queued) once closed.
    bool Push(const void* data, size_t size) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!WaitForRoom(lock)) return false;
        Block block;
        if (!m_spare.empty()) {
            block = std::move(m_spare.back());
            m_spare.pop_back();
        }
        const auto* bytes = static_cast<const unsigned char*>(data);
        block.assign(bytes, bytes + size);
        m_queued.push_back(std::move(block));
        m_changed.notify_all();
        return true;
    }

    // Waits for the next block; false when the queue is closed and nothing is left in it.
    bool Pop(Block& block) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_closed || !m_queued.empty(); });
        return Take(block);
    }

    // The same, waiting at most `timeout` (none: only what is there now).
    Popped PopFor(Block& block, std::chrono::steady_clock::duration timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return m_closed || !m_queued.empty(); })) return Popped::Empty;
        return Take(block) ? Popped::Block : Popped::Closed;
    }

    // The consumer is done with a popped block; its buffer is used again.
    void GiveBack(Block&& block) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_spare.push_back(std::move(block));
        --m_held;
        m_changed.notify_all();
    }

    // The producer queues no more; the consumer still pops what is queued.
    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

    // Waits until the consumer has popped every queued block and given it back.
    void Drain() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queued.empty() && m_held == 0; });
    }

private:
    bool WaitForRoom(std::unique_lock<std::mutex>& lock) {
        m_changed.wait(lock, [this] { return m_closed || m_queued.size() < m_capacity; });
        return !m_closed;
    }

    bool Take(Block& block) {
        if (m_queued.empty()) return false;
        block = std::move(m_queued.front());
        m_queued.pop_front();
        ++m_held;
        return true;
    }

    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_changed;  // a block, room, a buffer given back or the close
    std::deque<Block> m_queued;
    std::vector<Block> m_spare;
    size_t m_held = 0;  // popped and not given back
    bool m_closed = false;
};
