#pragma once

#include <variant>

namespace larkfold {

// Case tests for a record held as a std::variant of case structs; Derived provides value().
template <class Derived>
class CaseAccess {
public:
    template <class Case>
    bool is() const
    {
        return std::holds_alternative<Case>(self().value());
    }
    // The case's payload, or null when the record holds another case.
    template <class Case>
    const Case* as() const
    {
        return std::get_if<Case>(&self().value());
    }

    bool operator==(const CaseAccess&) const = default;

private:
    const Derived& self() const { return static_cast<const Derived&>(*this); }
};

} // namespace larkfold
