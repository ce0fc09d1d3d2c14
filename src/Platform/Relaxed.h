// Relaxed<T>: a value shared between threads, read and written with relaxed
// atomic access (plain loads and stores on the machines we build for).
#pragma once
#include <atomic>

template <class T>
class Relaxed {
public:
    Relaxed(T v = T()) noexcept : mValue(v) {}
    Relaxed(const Relaxed& o) noexcept : mValue(T(o)) {}
    Relaxed& operator=(const Relaxed& o) noexcept { return *this = T(o); }
    operator T() const noexcept { return mValue.load(std::memory_order_relaxed); }
    Relaxed& operator=(T v) noexcept {
        mValue.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> mValue;
};

// Relaxed access to a plain float that must keep its layout (a parameter in a
// settings record that is copied byte for byte).
inline float LoadRelaxed(const float& v) noexcept {
    return std::atomic_ref<float>(const_cast<float&>(v)).load(std::memory_order_relaxed);
}
inline void StoreRelaxed(float& v, float x) noexcept { std::atomic_ref<float>(v).store(x, std::memory_order_relaxed); }
