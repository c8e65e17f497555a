#include "session/traffic_count_scope.h"

#include "net/transfer/traffic_meter.h"
#include "session/application.h"

namespace kov {

TrafficCountScope::TrafficCountScope(Application& app) : m_app(app) {
    GlobalTrafficMeter().SetTrafficCount(app.LimitCounter());
}

TrafficCountScope::~TrafficCountScope() {
    End();
}

void TrafficCountScope::End() {
    if (m_ended) return;
    m_ended = true;
    m_app.TakeTrafficCount();
}

}  // namespace kov
