#pragma once

#include "platform/AccessRequestCompletion.h"

class QObject;

namespace morvane {

// A store answers an access request on a thread of its own, and a faulty one may answer twice. The
// completion this gives hands the first answer to handler on the main thread, later ones are
// dropped, and nothing runs once owner (a main-thread object whose lifetime bounds handler's
// captures) is gone.
AccessRequestCompletion firstAnswerOnMainThread(const QObject* owner, AccessRequestCompletion handler);

} // namespace morvane
