#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace morvane {

// A growable array of plain values in an anonymous mapping of its own, handed back to the system whole
// when released. An array of megabytes that is read for a use and dropped after it would otherwise go
// to the allocator, which keeps a block that size in a thread's heap once a block like it was freed
// (it raises its mapping threshold as it goes) and does not trim the top of a thread's heap: the
// memory would stay resident after the release. Growing remaps the pages instead of copying them, and
// pages never written take no memory.
template <class T> class MappedArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    MappedArray() = default;
    ~MappedArray() { release(); }
    MappedArray(const MappedArray&) = delete;
    MappedArray& operator=(const MappedArray&) = delete;
    MappedArray(MappedArray&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr))
        , m_size(std::exchange(other.m_size, 0))
        , m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    MappedArray& operator=(MappedArray&& other) noexcept
    {
        if (this != &other) {
            release();
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_capacity = std::exchange(other.m_capacity, 0);
        }
        return *this;
    }

    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }
    T* data() { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const T& operator[](std::size_t index) const { return m_data[index]; }
    T& operator[](std::size_t index) { return m_data[index]; }
    const T& back() const { return m_data[m_size - 1]; }

    void append(const T* values, std::size_t count)
    {
        if (m_size + count > m_capacity)
            grow(m_size + count);
        std::copy(values, values + count, m_data + m_size);
        m_size += count;
    }
    void push_back(const T& value) { append(&value, 1); }
    // Makes the array count values longer and gives where they start, left for the caller to write
    // (untouched pages read as zero).
    T* extend(std::size_t count)
    {
        if (m_size + count > m_capacity)
            grow(m_size + count, m_size + count);
        T* added = m_data + m_size;
        m_size += count;
        return added;
    }
    // Room for this many values in all: one mapping of the size, when the count is known beforehand.
    void reserve(std::size_t count)
    {
        if (count > m_capacity)
            grow(count, count);
    }
    // Makes the array this long; new values are zero (untouched pages).
    void resize(std::size_t count)
    {
        reserve(count);
        if (count > m_size)
            std::fill(m_data + m_size, m_data + count, T{});
        m_size = count;
    }
    void truncate(std::size_t count) { m_size = std::min(count, m_size); }

    void release()
    {
        if (m_data != nullptr)
            munmap(m_data, m_capacity * sizeof(T));
        m_data = nullptr;
        m_size = m_capacity = 0;
    }

private:
    void grow(std::size_t needed) { grow(needed, std::max(2 * m_capacity, firstBytes / sizeof(T))); }
    void grow(std::size_t needed, std::size_t least)
    {
        const std::size_t capacity = std::max(needed, least);
        const std::size_t bytes = capacity * sizeof(T);
        void* grown = m_data == nullptr
                          ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                          : mremap(m_data, m_capacity * sizeof(T), bytes, MREMAP_MAYMOVE);
        if (grown == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<T*>(grown);
        m_capacity = capacity;
    }

    static constexpr std::size_t firstBytes = std::size_t(64) << 10;

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace morvane
