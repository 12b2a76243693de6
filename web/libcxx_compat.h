#pragma once
// The web build's C++ library (Emscripten 3.1.6's libc++ 13, Debian 12) lacks
// two C++20 pieces the engine uses: std::bit_cast and std::atomic_ref. The web
// build includes this header before every source file (-include), so the
// engine's source is the very one the native build compiles. Each piece is
// defined only where the library has none, with the compiler's builtins.

#include <atomic>
#include <bit>
#include <version>

namespace std {

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
#endif

#if !defined(__cpp_lib_atomic_ref)
// The loads and stores the engine makes through it (the recording ring's samples).
template <class T>
class atomic_ref {
public:
    explicit atomic_ref(T& object) noexcept : object_(&object) {}
    void store(T value, memory_order order = memory_order_seq_cst) const noexcept {
        __atomic_store_n(object_, value, static_cast<int>(order));
    }
    T load(memory_order order = memory_order_seq_cst) const noexcept {
        return __atomic_load_n(object_, static_cast<int>(order));
    }

private:
    T* object_;
};
#endif

}  // namespace std
