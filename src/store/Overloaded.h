#pragma once

namespace larkfold {

// One visitor from several lambdas, for std::visit over a record's cases.
template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

} // namespace larkfold
