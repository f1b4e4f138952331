#include "platform/FreedMemory.h"

#include <malloc.h>

namespace larkfold::platform {

void releaseFreedMemory()
{
    ::malloc_trim(0);
}

} // namespace larkfold::platform
