#pragma once
// The list behind a message's OID and value texts (TNameList, TValueList): a
// sequence like std::vector whose emptied entries keep their storage. A poll
// resets the same message and refills it with four bindings every second;
// with a vector every reset would free the texts and every refill allocate
// them again.
//
// Entries past size() are spare: they hold old contents and are overwritten
// when they are taken again. T needs a clear() that empties it and keeps its
// storage.

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

namespace veltrum {

template <class T> class TReusedList final {
public:
    using value_type = T;
    using size_type = std::size_t;
    using reference = T&;
    using const_reference = const T&;
    using iterator = T*;
    using const_iterator = const T*;

    TReusedList() = default;
    TReusedList(std::initializer_list<T> items)
        : m_items(items), m_size(items.size()), m_made(items.size()) {}
    TReusedList& operator=(std::initializer_list<T> items) {
        clear();
        for (const T& item : items) {
            push_back(item);
        }
        return *this;
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T& operator[](std::size_t index) { return m_items[index]; }
    const T& operator[](std::size_t index) const { return m_items[index]; }
    T* data() { return m_items.data(); }
    const T* data() const { return m_items.data(); }
    T* begin() { return m_items.data(); }
    T* end() { return m_items.data() + m_size; }
    const T* begin() const { return m_items.data(); }
    const T* end() const { return m_items.data() + m_size; }
    T& back() { return m_items[m_size - 1]; }
    const T& back() const { return m_items[m_size - 1]; }

    // Entries made so far, taken or spare.
    std::size_t madeCount() const { return m_made; }

    // Whether the next append moves the entries to new storage (and with
    // them every short text held inside its entry).
    bool appendMoves() const { return m_size == m_made && m_made == m_items.capacity(); }

    // The entry the next append takes without growing, or null; taking it
    // (takeSpare) is the append.
    T* nextSpare() { return m_size < m_made ? m_items.data() + m_size : nullptr; }
    void takeSpare() { ++m_size; }

    // Appends an entry and returns it holding whatever it held before: the
    // caller overwrites all of it.
    T& appendSpare() {
        if (m_size < m_made) {
            return m_items[m_size++];
        }
        return appendNew(T());
    }

    // Appends `count` entries at once and returns the first; they hold
    // whatever they held before, and the caller overwrites all of them.
    T* appendSpares(std::size_t count) {
        if (m_made - m_size < count) {
            makeSpares(count);
        }
        T* const first = m_items.data() + m_size;
        m_size += count;
        return first;
    }

    void push_back(const T& item) {
        if (m_size == m_made) {
            // `item` may be one of the entries, which the growth would move.
            appendNew(T(item));
            return;
        }
        m_items[m_size++] = item;
    }
    void push_back(T&& item) {
        if (m_size == m_made) {
            appendNew(T(std::move(item)));
            return;
        }
        m_items[m_size++] = std::move(item);
    }

    // New entries are empty, like a vector's.
    [[gnu::noinline]] void resize(std::size_t count) {
        while (m_size < count) {
            appendSpare().clear();
        }
        m_size = count;
    }

    void clear() { m_size = 0; }

    // clear() for a list refilled again and again from untrusted data: at
    // most `keep` spare entries stay, and an entry `tooBig` finds is let go,
    // so one huge reply does not leave its storage behind. Entries past
    // size() were looked at when they were last cleared.
    template <class TooBig> void clearKeeping(std::size_t keep, TooBig tooBig) {
        for (std::size_t i = 0; i < m_size; ++i) {
            if (tooBig(m_items[i])) {
                // Swapped out, not assigned: a string assigned an empty one
                // keeps its storage.
                T released;
                std::swap(m_items[i], released);
            }
        }
        m_size = 0;
        if (m_made > keep) {
            m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(keep), m_items.end());
            m_made = keep;
            if (m_items.capacity() > 4 * keep) {
                m_items.shrink_to_fit();
            }
        }
    }

    friend bool operator==(const TReusedList& a, const TReusedList& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    [[gnu::noinline]] void makeSpares(std::size_t count) {
        m_items.resize(m_size + count);
        m_made = m_items.size();
    }

    [[gnu::noinline]] T& appendNew(T&& item) {
        T& entry = m_items.emplace_back(std::move(item));
        m_made = m_items.size();
        ++m_size;
        return entry;
    }

    std::vector<T> m_items;
    std::size_t m_size = 0;
    std::size_t m_made = 0; // m_items.size(), kept apart so that no division finds it
};

} // namespace veltrum
