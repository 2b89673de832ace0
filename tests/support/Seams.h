#pragma once
// One of the program's process-wide seams (elevation, the shell, the tray's records, the DPI,
// the netsh program) set by a test for the life of a guard and put back as it was when the guard
// goes, however the test ends: an ASSERT that returns early included. Guards nest.
#include <type_traits>
#include <utility>

template <typename F> class ScopedSeam {
public:
    // set is the seam's setter, which answers what it replaced.
    ScopedSeam(F (*set)(F), std::type_identity_t<F> value)
        : FSet(set), FBefore(set(std::move(value))) {}
    ~ScopedSeam() { FSet(std::move(FBefore)); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    F (*FSet)(F);
    F FBefore;
};
