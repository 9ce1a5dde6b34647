#pragma once
// Joins the calling thread to a single-threaded COM apartment for the length of a scope.
// Shell objects such as the taskbar list can only be created on a thread that did so.

#include <objbase.h>

class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    // Only a successful CoInitializeEx (S_OK, or S_FALSE when the thread was already in an
    // apartment) is paired with CoUninitialize.
    ~ComApartment() {
        if (initialised_) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};
