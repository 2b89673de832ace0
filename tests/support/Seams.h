#pragma once
// One of the program's process-wide seams (elevation, the shell, the tray's records) set by a
// test for the life of a guard and put back to the program's own behaviour when it goes,
// however the test ends: an ASSERT that returns early included.
#include <type_traits>
#include <utility>

template <typename F> class ScopedSeam {
public:
    ScopedSeam(void (*set)(F), std::type_identity_t<F> value) : FSet(set) {
        FSet(std::move(value));
    }
    ~ScopedSeam() { FSet(F()); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    void (*FSet)(F);
};
