#pragma once

#include "store/CaseAccess.h"

#include <variant>

namespace larkfold {

// How many independent backup copies protect a pair's source folder.
class CopyRedundancy : public CaseAccess<CopyRedundancy> {
public:
    struct Redundant {
        int copies = 0;
        bool operator==(const Redundant&) const = default;
    };
    struct NoBackup {
        bool operator==(const NoBackup&) const = default;
    };
    struct OnlyCopy {
        bool operator==(const OnlyCopy&) const = default;
    };
    struct SingleBackup {
        bool operator==(const SingleBackup&) const = default;
    };
    using Value = std::variant<Redundant, NoBackup, OnlyCopy, SingleBackup>;

    template <class Case>
        requires std::is_constructible_v<Value, Case>
    CopyRedundancy(Case value) : m_value(value)
    {
    }

    static CopyRedundancy redundant(int copies) { return Redundant{copies}; }
    static CopyRedundancy noBackup() { return NoBackup{}; }
    static CopyRedundancy onlyCopy() { return OnlyCopy{}; }
    static CopyRedundancy singleBackup() { return SingleBackup{}; }


    const Value& value() const { return m_value; }

    bool operator==(const CopyRedundancy&) const = default;

private:
    Value m_value;
};

} // namespace larkfold
