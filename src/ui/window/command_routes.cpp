#include "ui/window/command_routes.h"

namespace kov {

void CommandRoutes::Add(std::initializer_list<int> ids, const CommandRoute& route) {
    for (const int id : ids)
        m_routes[id] = route;
}

void CommandRoutes::AddForLists(int id, CommandRoute route) {
    m_listsRoutes[id] = std::move(route);
}

const CommandRoute* CommandRoutes::Find(int id, bool listsPane) const {
    if (listsPane) {
        const auto it = m_listsRoutes.find(id);
        if (it != m_listsRoutes.end()) return &it->second;
    }
    const auto it = m_routes.find(id);
    return it == m_routes.end() ? nullptr : &it->second;
}

}  // namespace kov
