#pragma once

#include <string>

#include "model/list_model.h"

namespace kov {

// Follows a session controller from outside (the remote control's event stream): when sessions
// start and end, and why a row failed, which the row itself does not keep. Called on the main
// loop's thread.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void SessionStarted() {}
    virtual void SessionEnded() {}
    // text: what failed ("Read error : ..."); cause: why, when the job knew it ("" otherwise).
    virtual void RowFailed(RowId /*id*/, const std::string& /*text*/,
                           const std::string& /*cause*/) {}
};

}  // namespace kov
