#include "seriallink/posix_calls.h"

#include <unistd.h>

namespace fanbench::seriallink::posix {

Calls systemCalls() {
    return Calls{::read, ::write, ::poll};
}

Calls& calls() {
    static Calls table = systemCalls();
    return table;
}

}  // namespace fanbench::seriallink::posix
