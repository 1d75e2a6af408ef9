#pragma once
// Replaces a static std::function seam (a clock, a message box) for one scope
// and puts the program's own back afterwards, also when a check fails early.

#include <utility>

template <class F>
class Seam {
public:
    template <class G>
    Seam(F& seam, G&& replacement) : seam_(seam), saved_(std::move(seam))
    {
        seam_ = std::forward<G>(replacement);
    }
    ~Seam() { seam_ = std::move(saved_); }
    Seam(const Seam&) = delete;
    Seam& operator=(const Seam&) = delete;

private:
    F& seam_;
    F saved_;
};
template <class F, class G>
Seam(F&, G&&) -> Seam<F>;
