#pragma once

#include <functional>
#include <initializer_list>
#include <map>

namespace kov {

// What the window does for a command: whether it may run now, and how.
struct CommandRoute {
    std::function<bool()> enabled;  // empty: always
    std::function<void()> run;
};

// The one table of the window's commands that both enabling and running read, so the two
// cannot disagree about where a command goes. A command whose meaning follows the focused
// pane has a route of its own for the lists pane.
class CommandRoutes {
public:
    // The route of ids in every pane, unless the lists pane has one of its own.
    void Add(std::initializer_list<int> ids, const CommandRoute& route);
    void AddForLists(int id, CommandRoute route);
    // Null for a command without a route.
    const CommandRoute* Find(int id, bool listsPane) const;

private:
    std::map<int, CommandRoute> m_routes;
    std::map<int, CommandRoute> m_listsRoutes;
};

}  // namespace kov
