#pragma once

#include <array>
#include <cstddef>

// A list with a fixed capacity and no heap storage. The matrix keeps its
// per-source and per-target slot lists in these, because slots are attached
// and detached on the audio thread (parameter changes are applied there),
// where nothing may allocate. Appending to a full list does nothing and
// reports false; with capacity = number of slots that never happens.
template <typename T, std::size_t N> class BoundedList {
public:
    bool push_back(const T& value)
    {
        if (count == N)
            return false;
        items[count++] = value;
        return true;
    }

    // Removes the first element equal to value, keeping the order of the rest.
    bool remove(const T& value)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if (items[i] == value) {
                for (std::size_t k = i + 1; k < count; ++k)
                    items[k - 1] = items[k];
                --count;
                return true;
            }
        }
        return false;
    }

    bool contains(const T& value) const
    {
        for (std::size_t i = 0; i < count; ++i)
            if (items[i] == value)
                return true;
        return false;
    }

    void clear() { count = 0; }
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    static constexpr std::size_t capacity() { return N; }

    const T& operator[](std::size_t i) const { return items[i]; }
    T& operator[](std::size_t i) { return items[i]; }
    const T* begin() const { return items.data(); }
    const T* end() const { return items.data() + count; }
    T* begin() { return items.data(); }
    T* end() { return items.data() + count; }

private:
    std::array<T, N> items{};
    std::size_t count = 0;
};
