#pragma once

#include <cstdint>
#include <string>

#include "core/event_codes.h"

namespace kov {

// Where a transfer reports what happens; the download job implements it.
class TransferSink {
public:
    virtual ~TransferSink() = default;
    virtual void Post(int code, std::int64_t param1, std::int64_t param2,
                      const std::string& text1 = {}, const std::string& text2 = {}) = 0;
};

}  // namespace kov
