#pragma once
// One move-only owner for every kind of Windows handle the program holds.
// A policy names the handle type, its invalid value and how it is closed:
//
//     struct FindPolicy {
//         using pointer = HANDLE;
//         static pointer invalid() { return INVALID_HANDLE_VALUE; }
//         static void close(pointer h) { FindClose(h); }
//     };
//     using unique_find = unique_any<FindPolicy>;

#include <windows.h>

#include <utility>

template <typename Policy>
class unique_any {
public:
    using pointer = typename Policy::pointer;

    unique_any() noexcept : value_(Policy::invalid()) {}
    explicit unique_any(pointer value) noexcept : value_(value) {}
    ~unique_any() { reset(); }

    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    pointer get() const noexcept { return value_; }
    bool is_valid() const noexcept { return value_ != Policy::invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    // Closes the held handle (if any) and takes ownership of `value`.
    void reset(pointer value = Policy::invalid()) noexcept {
        pointer old = std::exchange(value_, value);
        if (old != Policy::invalid()) {
            Policy::close(old);
        }
    }

    pointer release() noexcept { return std::exchange(value_, Policy::invalid()); }

    // For out-parameters: closes the held handle and hands out its slot.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_;
};

// Handles for which NULL means "none" (most of them: processes, snapshots, GDI objects...).
template <typename T, auto Close>
struct NullInvalidPolicy {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer value) noexcept { Close(value); }
};

// Handles for which INVALID_HANDLE_VALUE means "none": CreateFileW, FindFirstFileW,
// CreateToolhelp32Snapshot return it on failure, never NULL.
template <auto Close>
struct InvalidHandlePolicy {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) noexcept { Close(value); }
};

// Memory that a system call allocated with LocalAlloc for its caller to free: security
// descriptors, string SIDs, formatted messages.
template <typename T>
using unique_local = unique_any<NullInvalidPolicy<T, LocalFree>>;

using unique_handle = unique_any<NullInvalidPolicy<HANDLE, CloseHandle>>;
using unique_file = unique_any<InvalidHandlePolicy<CloseHandle>>;
using unique_find = unique_any<InvalidHandlePolicy<FindClose>>;
