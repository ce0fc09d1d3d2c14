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
// settings record that is copied byte for byte): what std::atomic_ref does,
// through the compiler's atomic builtins, which every standard library we build
// with has under it (some lack std::atomic_ref).
inline float LoadRelaxed(const float& v) noexcept {
    float out;
    __atomic_load(&v, &out, __ATOMIC_RELAXED);
    return out;
}
inline void StoreRelaxed(float& v, float x) noexcept { __atomic_store(&v, &x, __ATOMIC_RELAXED); }
