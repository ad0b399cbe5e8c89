#pragma once

#include "foundation/LifetimeToken.h"
#include "platform/AccessRequestCompletion.h"

namespace morvane {

// A store answers an access request on a thread of its own, and a faulty one may answer twice. The
// completion this gives hands the first answer to handler on the main thread, later ones are
// dropped, and nothing runs once the owner (a main-thread object whose lifetime bounds handler's
// captures) is gone.
AccessRequestCompletion firstAnswerOnMainThread(LifetimeToken::Watch owner, AccessRequestCompletion handler);

} // namespace morvane
