#include "engine/RunFileErrors.h"

#include "copy/CopyErrors.h"

namespace larkfold {

RunFileErrors RunFileErrors::of(const std::vector<FileOperationError>& errors)
{
    RunFileErrors list;
    for (const FileOperationError& error : errors) {
        if (!isDeletionGuardRefusal(error))
            list.add(error);
    }
    return list;
}

void RunFileErrors::add(const FileOperationError& error)
{
    ++total;
    if (kept.size() < kMaxKept)
        kept.push_back({error.url(), error.operation(), error.description()});
}

} // namespace larkfold
